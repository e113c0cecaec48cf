'use strict';
// index.d.ts checked by the TypeScript compiler against a small program.
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const path = require('path');

test('index.d.ts type-checks a program that uses every call', () => {
  const tsc = path.join(__dirname, '..', 'node_modules', 'typescript', 'bin', 'tsc');
  const checked = spawnSync(process.execPath, [tsc, '--noEmit', '--strict', '--types', 'node',
    path.join(__dirname, 'uses-types.ts')], { encoding: 'utf8' });
  assert.strictEqual(checked.status, 0, checked.stdout + checked.stderr);
});
