// sharp's thumbnails in process, one file after another: median milliseconds
// per file, the thumbnails written as PNG for the quality figures.
//   node scaling_sharp.js ROUNDS BOX OUT_DIR FILE...
const path = require('path');
const sharp = require(path.join(process.env.SHARP_HOME, 'node_modules', 'sharp'));

async function main() {
  const [rounds, box, out, ...files] = process.argv.slice(2);
  const result = {};
  for (const file of files) {
    const target = path.join(out, path.basename(file) + '.sharp.png');
    const once = () => sharp(file).resize(+box, +box, { fit: 'inside' }).png({ compressionLevel: 1 }).toFile(target);
    await once();
    const times = [];
    for (let r = 0; r < +rounds; ++r) {
      const start = process.hrtime.bigint();
      await once();
      times.push(Number(process.hrtime.bigint() - start) / 1e6);
    }
    times.sort((a, b) => a - b);
    result[file] = times[Math.floor(times.length / 2)];
  }
  console.log(JSON.stringify(result));
}
main();
