// npm pack: the tarball carries the library's sources in rasterkit-src/ so
// that installing it builds the same way as installing this folder.
// With --remove, takes them out again.
const fs = require('fs');
const path = require('path');

const here = path.join(__dirname, '..');
const root = path.join(here, '..', '..');
const target = path.join(here, 'rasterkit-src');
const carried = ['CMakeLists.txt', 'cmake', 'include', 'src', 'conversion'];

fs.rmSync(target, { recursive: true, force: true });
if (!process.argv.includes('--remove')) {
  for (const name of carried) {
    const from = path.join(root, name);
    if (fs.existsSync(from)) fs.cpSync(from, path.join(target, name), { recursive: true });
  }
}
