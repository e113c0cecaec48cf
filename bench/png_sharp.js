// sharp's JPEG to PNG in process at its defaults, one file after another:
// median milliseconds and the bytes written, per file, as JSON.
//   node png_sharp.js ROUNDS OUT_DIR FILE...
const fs = require('fs');
const path = require('path');
const sharp = require(path.join(process.env.SHARP_HOME, 'node_modules', 'sharp'));

async function main() {
  const [rounds, out, ...files] = process.argv.slice(2);
  const result = {};
  for (const file of files) {
    const target = path.join(out, path.basename(file) + '.sharp.png');
    const once = () => sharp(file).png().toFile(target);
    await once();
    const times = [];
    for (let r = 0; r < +rounds; ++r) {
      const start = process.hrtime.bigint();
      await once();
      times.push(Number(process.hrtime.bigint() - start) / 1e6);
    }
    times.sort((a, b) => a - b);
    result[path.basename(file)] = { ms: times[Math.floor(times.length / 2)], bytes: fs.statSync(target).size };
  }
  console.log(JSON.stringify(result));
}
main();
