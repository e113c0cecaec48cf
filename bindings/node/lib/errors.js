'use strict';
// Failures of the library as RasterkitError: `code` tells the kind, and for
// input/output the system's own code (ENOENT, EACCES, ...); `path` is the
// file the failure is about, when it is about one.
const os = require('os');

const KIND_CODES = {
  1: 'PIXEL_LIMIT',
  2: 'NOT_AN_IMAGE',
  3: 'DAMAGED',
  4: 'EIO',
  5: 'OUT_OF_MEMORY',
  6: 'BAD_ARGUMENT',
};

const ERRNO_NAMES = Object.fromEntries(Object.entries(os.constants.errno).map(([name, number]) => [number, name]));

class RasterkitError extends Error {
  constructor(message, code, path = null, errno = null) {
    super(message);
    this.name = 'RasterkitError';
    this.code = code;
    this.path = path;
    if (errno) this.errno = errno;
  }
}

// The native failure ({message, kind, errno}) of a call about `paths`; the
// library's line starts with the file's name when it is about one.
// A call about one file alone (a probe, a read) gets lines that do not name
// it; they are named here, once.
function fromLibrary(failure, paths) {
  const code = failure.kind === 4 && ERRNO_NAMES[failure.errno] ? ERRNO_NAMES[failure.errno] : KIND_CODES[failure.kind] || 'EIO';
  const files = paths.filter((p) => typeof p === 'string');
  const named = files.find((p) => failure.message.startsWith(p + ': '));
  if (named) return new RasterkitError(failure.message, code, named, failure.errno || null);
  if (files.length === 1 && paths.length === 1 && failure.kind !== 6)
    return new RasterkitError(`${files[0]}: ${failure.message}`, code, files[0], failure.errno || null);
  return new RasterkitError(failure.message, code, null, failure.errno || null);
}

function badArgument(message) {
  return new RasterkitError(message, 'BAD_ARGUMENT');
}

module.exports = { RasterkitError, fromLibrary, badArgument };
