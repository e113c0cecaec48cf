'use strict';
// The shape of the options: every name known and every value of its type,
// checked before a call starts. Whether a value works (a quality of 101, an
// unknown kernel, a crop outside the image) is the library's to judge; it
// refuses before any work with its reason.
const { badArgument } = require('./errors');

const FORMATS = ['bmp', 'png', 'jpeg', 'jpg'];
const integer = (v) => Number.isInteger(v);
const boolean = (v) => typeof v === 'boolean';
const string = (v) => typeof v === 'string';
const colour = (v) => string(v) || (Array.isArray(v) && (v.length === 3 || v.length === 4) && v.every(integer));

const TOP = {
  format: (v) => string(v) && FORMATS.includes(v.toLowerCase()),
  quality: integer,
  compression: integer,
  progressive: boolean,
  chroma: (v) => v === 444 || v === 420,
  resize: 'resize',
  crop: 'crop',
  rotate: integer,
  flipX: boolean,
  flipY: boolean,
  transpose: boolean,
  autoOrient: boolean,
  strip: boolean,
  toSrgb: boolean,
  maxPixels: (v) => integer(v) && v >= 0,
  exact: boolean,
  acceptDamaged: boolean,
  output: string,
};
const RESIZE = {
  width: integer, height: integer, fit: string, position: string, kernel: string, background: colour,
  enlarge: boolean, linear: boolean,
};
const CROP = { x: integer, y: integer, width: integer, height: integer };
const EXPECTED = {
  format: "'bmp', 'png' or 'jpeg'", resize: 'an object', crop: 'an object {x, y, width, height}',
  maxPixels: 'a whole number of 0 or more', background: 'a string "R,G,B[,A]" or an array of 3 or 4 numbers',
  output: 'a path', chroma: '444 or 420',
};

function describe(name, check) {
  if (EXPECTED[name]) return EXPECTED[name];
  return check === boolean ? 'true or false' : check === integer ? 'a whole number' : 'a string';
}

function checkFields(given, known, where) {
  if (given === null || typeof given !== 'object' || Array.isArray(given)) throw badArgument(`${where} must be ${EXPECTED[where] || 'an object'}`);
  for (const [name, value] of Object.entries(given)) {
    if (value === undefined) continue;
    const check = known[name];
    if (!check) throw badArgument(`unknown option ${where === 'options' ? '' : where + '.'}${name}`);
    if (check === 'resize') checkFields(value, RESIZE, 'resize');
    else if (check === 'crop') checkFields(value, CROP, 'crop');
    else if (!check(value)) throw badArgument(`${where === 'options' ? '' : where + '.'}${name} must be ${describe(name, check)}`);
  }
}

// The options as the addon takes them: checked, the format's name in lower case.
function checked(options = {}, allowed = Object.keys(TOP)) {
  if (options === undefined || options === null) return {};
  checkFields(options, Object.fromEntries(allowed.map((name) => [name, TOP[name]])), 'options');
  const result = { ...options };
  if (string(result.format)) result.format = result.format.toLowerCase();
  return result;
}

const RESHAPING = ['resize', 'crop', 'rotate', 'flipX', 'flipY', 'transpose'];
const reshapes = (options) => RESHAPING.some((name) => options[name] !== undefined && options[name] !== false);

module.exports = { checked, reshapes, READ: ['resize', 'crop', 'rotate', 'flipX', 'flipY', 'transpose', 'autoOrient', 'maxPixels', 'exact', 'acceptDamaged'] };
