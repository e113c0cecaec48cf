// rasterkit's Node.js package against sharp in one process, on the same
// photographs: metadata, JPEG to JPEG at quality 80, JPEG to PNG at each
// one's defaults, a 256-pixel thumbnail (PNG) with its PSNR against the exact
// full-decode Lanczos3 resize, and all the thumbnails at once. Median
// milliseconds per case, the two sides' rounds run in turn.
//   node node_bench.js ROUNDS OUT_DIR PHOTO...   (env SHARP_HOME, RASTERKIT_NODE)
const fs = require('fs');
const path = require('path');
const rasterkit = require(process.env.RASTERKIT_NODE);
const sharp = require(path.join(process.env.SHARP_HOME, 'node_modules', 'sharp'));

const threads = Number(process.env.UV_THREADPOOL_SIZE || 4);
sharp.concurrency(threads);
sharp.cache(false);

async function time(job) {
  const start = process.hrtime.bigint();
  await job();
  return Number(process.hrtime.bigint() - start) / 1e6;
}

const median = (times) => times.sort((a, b) => a - b)[Math.floor(times.length / 2)];

// Medians of the two sides' rounds, run in turn (each once first to warm
// up), the side that goes first swapped every round: both meet the machine
// in the same state, which on a shared VM drifts within seconds.
async function sideBySide(rounds, ours, theirs) {
  await ours();
  await theirs();
  const times = [[], []];
  for (let r = 0; r < rounds; r += 1) {
    const order = r % 2 === 0 ? [0, 1] : [1, 0];
    for (const side of order) times[side].push(await time(side === 0 ? ours : theirs));
  }
  return times.map(median);
}

// What writing 12 MB of fresh memory costs (page faults), in a new process
// whose allocator maps it afresh: on this VM it moves from about 3 ms to
// over 40 within minutes, and libjpeg zeroes its whole-image buffer for a
// progressive file on every call.
function firstTouchMs() {
  const probe = 'const s = process.hrtime.bigint(); Buffer.allocUnsafeSlow(12 << 20).fill(1);' +
    'console.log(Number(process.hrtime.bigint() - s) / 1e6)';
  return Number(require('child_process').execFileSync(process.execPath, ['-e', probe]).toString());
}

function psnr(ours, reference) {
  let error = 0;
  let samples = 0;
  for (let i = 0; i < reference.length; i += 1) {
    if (i % 4 === 3) continue;
    error += (ours[i] - reference[i]) ** 2;
    samples += 1;
  }
  return error === 0 ? Infinity : 10 * Math.log10((255 * 255 * samples) / error);
}

async function rgba(png) {
  return (await rasterkit.read(png)).data;
}

async function main() {
  const [rounds, out, ...photos] = process.argv.slice(2);
  const lines = [];
  const report = (name, [ours, theirs], extra = '') => {
    lines.push({ name, ours, theirs, extra });
  };
  for (const photo of photos) {
    const name = path.basename(photo);
    const buffer = fs.readFileSync(photo);
    report(`${name} probe/metadata`, await sideBySide(rounds, () => rasterkit.probe(photo), () => sharp(photo).metadata()));
    let ourJpeg; let theirJpeg;
    report(`${name} JPEG q80`, await sideBySide(rounds,
      async () => { ourJpeg = await rasterkit.convert(buffer, { format: 'jpeg', quality: 80 }); },
      async () => { theirJpeg = await sharp(buffer).jpeg({ quality: 80 }).toBuffer(); }),
      `bytes ${ourJpeg.length} | ${theirJpeg.length}`);
    let ourPng; let theirPng;
    report(`${name} PNG (defaults)`, await sideBySide(rounds,
      async () => { ourPng = await rasterkit.convert(buffer, { format: 'png' }); },
      async () => { theirPng = await sharp(buffer).png().toBuffer(); }));
    const box = { width: 256, height: 256, fit: 'inside' };
    let ourThumb; let theirThumb;
    report(`${name} thumbnail 256`, await sideBySide(rounds,
      async () => { ourThumb = await rasterkit.convert(buffer, { format: 'png', compression: 1, resize: box }); },
      async () => {
        theirThumb = await sharp(buffer).resize(256, 256, { fit: 'inside' }).png({ compressionLevel: 1 }).toBuffer();
      }));
    const exact = await rasterkit.read(buffer, { resize: box, exact: true });
    const [ours, theirs] = [await rgba(ourThumb), await rgba(theirThumb)];
    lines[lines.length - 1].extra = `PSNR ${psnr(ours, exact.data).toFixed(1)} | ` +
      (theirs.length === exact.data.length ? psnr(theirs, exact.data).toFixed(1) : 'other size') + ' dB';
    lines[lines.length - 2].png = [ourPng.length, theirPng.length];
  }
  fs.mkdirSync(path.join(out, 'ours'), { recursive: true });
  fs.mkdirSync(path.join(out, 'sharp'), { recursive: true });
  report(`${photos.length} thumbnails at once`, await sideBySide(rounds,
    () => rasterkit.convertFiles(photos, path.join(out, 'ours'), { format: 'png', compression: 1, resize: { width: 256, height: 256 } }),
    () => Promise.all(photos.map((photo) => sharp(photo).resize(256, 256, { fit: 'inside' })
      .png({ compressionLevel: 1 }).toFile(path.join(out, 'sharp', path.basename(photo) + '.png'))))));
  console.log(JSON.stringify({ threads, firstTouch: firstTouchMs(), lines }));
}
main();
