"""Writes that never destroy what was there, by the same rule as the command-line tool.

The library writes a temporary file beside the target; the file is checked to be complete
(a BMP as long as its header says, a PNG ending with its end chunk, a JPEG with its
end-of-image marker) and only then renamed over the target. A symbolic link is followed and
the file it names replaced; an existing target that is not a regular file (a FIFO, a device,
/dev/stdout) is written straight through.
"""
from __future__ import annotations

import os
import stat
import tempfile
from typing import Callable, Optional

from .errors import RasterkitError

BMP, PNG, JPEG = 1, 2, 3
_PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
_PNG_END = b"\x00\x00\x00\x00IEND\xaeB`\x82"
_BMP_HEADER_BYTES = 54
_STEM_LIMIT = 180


def incompleteness(path: bytes, format: int) -> Optional[str]:
    """Why the file at `path` is not a complete file of `format`, or None when it is."""
    try:
        with open(path, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            if size == 0:
                return "nothing was written"
            head = f.read(8)
            f.seek(max(0, size - 12))
            tail = f.read(12)
    except OSError:
        return "the written file vanished"
    if format == BMP:
        complete = size >= _BMP_HEADER_BYTES and head[:2] == b"BM" and int.from_bytes(head[2:6], "little") == size
    elif format == JPEG:
        complete = size >= 4 and head[:2] == b"\xff\xd8" and tail[-2:] == b"\xff\xd9"
    else:
        complete = head == _PNG_SIGNATURE and tail == _PNG_END
    return None if complete else "the %s file is incomplete" % {BMP: "BMP", JPEG: "JPEG"}.get(format, "PNG")


def _temporary_name_parts(base_name: bytes):
    """Prefix and suffix that keep the target's extension, which name-driven writers read."""
    dot = base_name.rfind(b".")
    if dot <= 0:
        return base_name[:_STEM_LIMIT] + b"~rasterkit-", b""
    return b"." + base_name[:dot][:_STEM_LIMIT] + b".rasterkit-", base_name[dot:]


def _read_umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask


# Read once at import: changing the umask to read it is not safe while other threads create files.
_UMASK = _read_umask()


def safe_write(target, format: int, write: Callable[[bytes], None]) -> None:
    """Writes `target` through `write(path)` in `format`; raises RasterkitError and leaves the target as it was."""
    target = os.fsencode(target)
    try:
        existing = os.stat(target)
    except OSError:
        existing = None
    if existing is not None and not stat.S_ISREG(existing.st_mode):
        write(target)
        return
    final = os.path.realpath(target)
    directory, base_name = os.path.split(final)
    prefix, suffix = _temporary_name_parts(base_name)
    try:
        fd, temporary = tempfile.mkstemp(suffix=suffix, prefix=prefix, dir=directory or b".")
    except OSError as error:
        raise RasterkitError("could not be written (%s)" % error.strerror, target) from None
    try:
        write(temporary)
        fault = incompleteness(temporary, format)
        if fault is not None:
            raise RasterkitError("could not be written (%s)" % fault, target)
        if existing is None:
            os.fchmod(fd, 0o666 & ~_UMASK)
        else:
            os.fchmod(fd, stat.S_IMODE(existing.st_mode))
        os.fsync(fd)
        os.replace(temporary, final)
    except OSError as error:
        raise RasterkitError("could not be written (%s)" % error.strerror, target) from None
    finally:
        os.close(fd)
        if os.path.lexists(temporary):
            os.unlink(temporary)
