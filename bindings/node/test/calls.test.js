'use strict';
// The package's calls against real files, Buffers and the real library.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const rasterkit = require('..');

const ROOT = path.join(__dirname, '..', '..', '..');
const FIXTURE = path.join(ROOT, 'testimg', 'testpfp0.jpg');
const MALFORMED = path.join(ROOT, 'tests', 'data', 'malformed');
const CORPUS = process.env.RASTERKIT_CORPUS || path.join(ROOT, '..', 'shared', 'corpus');
const PHOTO = path.join(CORPUS, 'large', 'bythewater-2560x1600.jpg');

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'rasterkit-node-'));
test.after(() => fs.rmSync(folder, { recursive: true, force: true }));
const inFolder = (name) => path.join(folder, name);

test('each call takes a path or a Buffer and gives the same', async () => {
  const bytes = fs.readFileSync(FIXTURE);
  const [fromPath, fromBuffer] = await Promise.all([rasterkit.probe(FIXTURE), rasterkit.probe(bytes)]);
  assert.deepStrictEqual(fromPath, fromBuffer);
  assert.deepStrictEqual([fromPath.format, fromPath.width, fromPath.height], ['jpeg', 192, 128]);

  const [read, readBuffer] = await Promise.all([rasterkit.read(FIXTURE), rasterkit.read(bytes)]);
  assert.strictEqual(read.data.length, 192 * 128 * 4);
  assert.ok(read.data.equals(readBuffer.data));

  const png = await rasterkit.convert(bytes, { format: 'png' });
  const written = await rasterkit.convert(FIXTURE, { output: inFolder('a.png') });
  assert.deepStrictEqual(written, { output: inFolder('a.png'), format: 'png', width: 192, height: 128, warning: null });
  assert.ok(png.equals(fs.readFileSync(inFolder('a.png'))));
  assert.ok((await rasterkit.read(png)).data.equals(read.data));

  const again = await rasterkit.write(read, { format: 'png' });
  assert.ok(again.equals(png));
  const layered = await rasterkit.convert(FIXTURE, { format: 'jpeg', quality: 80, progressive: true, chroma: 444 });
  assert.ok(layered.includes(Buffer.from([0xff, 0xc2])), 'progressive frame');
  const turned = await rasterkit.write(read, { output: inFolder('t.bmp'), rotate: 90, flipX: true });
  assert.deepStrictEqual([turned.format, turned.width, turned.height], ['bmp', 128, 192]);
});

test('geometry and transforms apply in reads and conversions alike', async () => {
  const options = { resize: { width: 64, height: 64, fit: 'cover' }, transpose: true, flipY: true };
  const read = await rasterkit.read(FIXTURE, options);
  const converted = await rasterkit.read(await rasterkit.convert(FIXTURE, { ...options, format: 'png' }));
  assert.deepStrictEqual([read.width, read.height], [64, 64]);
  assert.ok(read.data.equals(converted.data));
});

test('failures carry a code and the file', async () => {
  const cases = [
    [() => rasterkit.probe(inFolder('missing.png')), 'ENOENT', inFolder('missing.png')],
    [() => rasterkit.read(path.join(MALFORMED, 'png-huge-dimensions.png')), 'PIXEL_LIMIT', path.join(MALFORMED, 'png-huge-dimensions.png')],
    [() => rasterkit.read(Buffer.from('not an image')), 'NOT_AN_IMAGE', null],
    [() => rasterkit.read(fs.readFileSync(FIXTURE).subarray(0, 2000)), 'DAMAGED', null],
    [() => rasterkit.convert(FIXTURE, { format: 'png', quality: 80 }), 'BAD_ARGUMENT', null],
    [() => rasterkit.convert(FIXTURE, { format: 'png', resize: { width: 10, kernel: 'blurry' } }), 'BAD_ARGUMENT', null],
    [() => rasterkit.convert(FIXTURE, { format: 'png', crop: { x: 0, y: 0, width: 999, height: 9 } }), 'BAD_ARGUMENT', null],
    [() => rasterkit.convert(FIXTURE, { format: 'gif' }), 'BAD_ARGUMENT', null],
    [() => rasterkit.convert(FIXTURE, { format: 'png', progressive: true }), 'BAD_ARGUMENT', null],
    [() => rasterkit.convert(FIXTURE, { fromat: 'png' }), 'BAD_ARGUMENT', null],
    [() => rasterkit.convert(FIXTURE, { output: path.join(folder, 'no', 'such', 'x.png') }), 'ENOENT', path.join(folder, 'no', 'such', 'x.png')],
    [() => rasterkit.write({ data: Buffer.alloc(3), width: 1, height: 1 }, { format: 'png' }), 'BAD_ARGUMENT', null],
  ];
  for (const [call, code, about] of cases) {
    await assert.rejects(call(), (error) => {
      assert.ok(error instanceof rasterkit.RasterkitError && error instanceof Error);
      assert.strictEqual(error.code, code, error.message);
      assert.strictEqual(error.path, about, error.message);
      return true;
    });
  }
});

function crc32(bytes) {
  let crc = ~0;
  for (const byte of bytes) {
    crc ^= byte;
    for (let bit = 0; bit < 8; bit += 1) crc = (crc >>> 1) ^ (0xedb88320 & -(crc & 1));
  }
  return ~crc >>> 0;
}

function chunk(type, data) {
  const length = Buffer.alloc(4);
  length.writeUInt32BE(data.length);
  const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(body));
  return Buffer.concat([length, body, crc]);
}

// A 20000 x 20000 one-bit PNG of 60 kB that would take 1.6 GB as RGBA.
function pngBomb(side) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(side, 0);
  header.writeUInt32BE(side, 4);
  header[8] = 1;
  const rows = zlib.deflateSync(Buffer.alloc(side * (1 + side / 8)), { level: 9 });
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
    chunk('IDAT', rows), chunk('IEND', Buffer.alloc(0))]);
}

test('a bomb is refused from its header, and the limit can be raised', async () => {
  const bomb = pngBomb(20000);
  await assert.rejects(rasterkit.convert(bomb, { format: 'png' }), { code: 'PIXEL_LIMIT', message: /20000x20000/ });
  await assert.rejects(rasterkit.read(FIXTURE, { maxPixels: 100 }), { code: 'PIXEL_LIMIT' });
  assert.strictEqual((await rasterkit.read(FIXTURE, { maxPixels: 192 * 128 })).width, 192);
});

test('a failed write keeps the existing file', async () => {
  const kept = inFolder('kept.png');
  fs.writeFileSync(kept, 'the old contents');
  await assert.rejects(rasterkit.convert(fs.readFileSync(FIXTURE).subarray(0, 2000), { output: kept }), { code: 'DAMAGED' });
  assert.strictEqual(fs.readFileSync(kept, 'utf8'), 'the old contents');
  assert.deepStrictEqual(fs.readdirSync(folder).filter((name) => name.startsWith('.')), []);
});

test('a batch gives one result per file and never rejects for a bad one', async () => {
  fs.writeFileSync(inFolder('broken.jpg'), 'no image');
  const results = await rasterkit.convertFiles([FIXTURE, inFolder('broken.jpg')], inFolder('out'), { format: 'png', resize: { width: 32 } });
  assert.deepStrictEqual(results.map((r) => [r.ok, r.output]), [[true, inFolder('out/testpfp0.png')], [false, inFolder('out/broken.png')]]);
  assert.strictEqual(results[0].width, 32);
  assert.strictEqual(results[1].error.code, 'NOT_AN_IMAGE');
  await assert.rejects(rasterkit.convertFiles([FIXTURE, FIXTURE], inFolder('out')), { code: 'BAD_ARGUMENT' });
});

test('large conversions run on the pool: the event loop keeps ticking, several run at once', { skip: !fs.existsSync(PHOTO) && 'corpus not present' }, async () => {
  let ticks = 0;
  const timer = setInterval(() => { ticks += 1; }, 5);
  const outputs = await Promise.all(Array.from({ length: 4 }, () => rasterkit.convert(PHOTO, { format: 'png' })));
  clearInterval(timer);
  assert.ok(outputs.every((png) => png.equals(outputs[0])));
  // A blocked loop would fire the timer once at most, after the work.
  assert.ok(ticks >= 3, `${ticks} ticks`);
});
