'use strict';
// rasterkit for Node.js: probe, read, convert and write BMP, PNG and JPEG
// images on the rasterkit conversion library. Every call returns a promise
// and does its work on libuv's thread pool.
const path = require('path');
const native = require(path.join(__dirname, '..', 'build', 'Release', 'rasterkit_node.node'));
const { RasterkitError, fromLibrary, badArgument } = require('./errors');
const { checked, reshapes, READ } = require('./options');

function input(value) {
  if (typeof value === 'string' || Buffer.isBuffer(value)) return value;
  if (value instanceof Uint8Array) return Buffer.from(value.buffer, value.byteOffset, value.byteLength);
  throw badArgument('input must be a path or a Buffer');
}

// Runs `call` with checked arguments; any failure, early or late, is a rejected promise.
async function run(call, paths) {
  let pending;
  try {
    pending = call();
  } catch (error) {
    throw error instanceof RasterkitError ? error : badArgument(error.message);
  }
  try {
    return await pending;
  } catch (failure) {
    throw failure instanceof Error ? failure : fromLibrary(failure, paths);
  }
}

/** Format, size, orientation and colour profile from the header alone. */
function probe(source) {
  return run(() => native.probe(input(source)), [source]);
}

/** The decoded pixels, RGBA, with the options' geometry and transforms applied. */
function read(source, options) {
  return run(() => native.read(input(source), checked(options, READ)), [source]);
}

/** The encoded file as a Buffer, or with `options.output` a safe write of that file. */
function convert(source, options) {
  return run(() => {
    const given = checked(options);
    if (given.output === undefined && given.format === undefined) throw badArgument('options.format is needed to convert into a Buffer');
    return native.convert(input(source), given.output ?? null, given);
  }, [source, options && options.output]);
}

/** Encodes raw RGBA pixels {data, width, height[, iccProfile]}. */
function write(raw, options) {
  return run(() => {
    const given = checked(options);
    if (!raw || !Buffer.isBuffer(raw.data) || !Number.isInteger(raw.width) || !Number.isInteger(raw.height) ||
        raw.width < 0 || raw.height < 0 || raw.data.length !== raw.width * raw.height * 4)
      throw badArgument('raw must be {data, width, height} with data a Buffer of width * height * 4 bytes');
    if (given.output === undefined && given.format === undefined) throw badArgument('options.format is needed to write into a Buffer');
    return native.write(raw.data, raw.width, raw.height, Buffer.isBuffer(raw.iccProfile) ? raw.iccProfile : null,
      given.output ?? null, given, reshapes(given));
  }, [options && options.output]);
}

/**
 * Converts each input (a file, or the files directly inside a folder) into
 * outputDir, all at once on the thread pool. Resolves to one result per file,
 * {input, output, ok, format, width, height, warning} or {input, output, ok: false, error};
 * rejects only when the batch cannot start (a bad option, two inputs that
 * would write the same file, a folder that cannot be made).
 */
async function convertFiles(inputs, outputDir, options) {
  const given = await run(() => {
    if (!Array.isArray(inputs) || !inputs.every((i) => typeof i === 'string')) throw badArgument('inputs must be an array of paths');
    if (typeof outputDir !== 'string') throw badArgument('outputDir must be a path');
    const result = checked(options);
    if (result.output !== undefined) throw badArgument('options.output has no place in a batch: outputDir names the files');
    return result;
  }, []);
  const plan = await run(() => native.plan(inputs, outputDir, given.format ?? null), [outputDir]);
  return Promise.all(plan.map(({ input: from, output: to }) =>
    run(() => native.convert(from, to, given), [from, to]).then(
      (written) => ({ input: from, ok: true, ...written }),
      (error) => ({ input: from, output: to, ok: false, error }))));
}

module.exports = { probe, read, convert, write, convertFiles, RasterkitError, version: native.version };
