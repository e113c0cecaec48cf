// sharp converting in process, one file after another: to PNG at its
// defaults, to JPEG at quality 80 (its defaults otherwise), or to a
// thumbnail that fits BOX, written as PNG at level 1; median milliseconds
// and the bytes written, per file name, as JSON.
//   node sharp_convert.js png|jpeg|thumbnail:BOX ROUNDS OUT_DIR FILE...
const fs = require('fs');
const path = require('path');
const sharp = require(path.join(process.env.SHARP_HOME, 'node_modules', 'sharp'));

async function main() {
  const [format, rounds, out, ...files] = process.argv.slice(2);
  const result = {};
  for (const file of files) {
    const box = format.startsWith('thumbnail:') ? Number(format.split(':')[1]) : 0;
    const target = path.join(out, path.basename(file) + '.sharp.' + (format === 'jpeg' ? 'jpeg' : 'png'));
    const pipeline = () => {
      if (box) return sharp(file).resize(box, box, { fit: 'inside' }).png({ compressionLevel: 1 });
      return format === 'png' ? sharp(file).png() : sharp(file).jpeg({ quality: 80 });
    };
    const once = () => pipeline().toFile(target);
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
