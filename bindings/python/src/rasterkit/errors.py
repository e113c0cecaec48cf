"""The exceptions of failed library operations: RasterkitError, and one subclass per kind of failure."""
from __future__ import annotations

import errno as _errno
import os
from typing import Dict, Optional, Type, Union

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class RasterkitError(Exception):
    """A read, write or encode failed. ``path`` names the file at fault, or is None for memory operations."""

    def __init__(self, message: str, path: Optional[PathLike] = None, named: bool = False) -> None:
        self.path = None if path is None else os.fsdecode(path)
        # The library's lines name their file already (`named`); the package's own are prefixed here.
        super().__init__(message if named or self.path is None else "%s: %s" % (self.path, message))


class PixelLimitError(RasterkitError):
    """The header declares more pixels than the limit (``max_pixels``) allows; nothing was decoded."""


class UnsupportedImageError(RasterkitError):
    """Not a BMP, PNG or JPEG file, or a variant of one that is not supported."""


class DamagedImageError(RasterkitError):
    """The data is corrupt or ends early (``accept_damaged=True`` keeps what decodes)."""


class RasterkitMemoryError(RasterkitError, MemoryError):
    """The library ran out of memory."""


class RasterkitArgumentError(RasterkitError, ValueError):
    """A setting or argument that cannot work; nothing was read or written."""


class RasterkitOSError(RasterkitError, OSError):
    """A file could not be opened, read or written; ``errno`` is the system's error number."""

    def __init__(self, message: str, path: Optional[PathLike] = None, error_number: int = 0,
                 named: bool = False) -> None:
        RasterkitError.__init__(self, message, path, named)
        self.errno = error_number or None
        self.strerror = message
        self.filename = self.path


class RasterkitFileNotFoundError(RasterkitOSError, FileNotFoundError):
    """The file does not exist."""


class RasterkitPermissionError(RasterkitOSError, PermissionError):
    """The file may not be read or written."""


class RasterkitIsADirectoryError(RasterkitOSError, IsADirectoryError):
    """A folder was given where a file was meant."""


class RasterkitNotADirectoryError(RasterkitOSError, NotADirectoryError):
    """A part of the path is not a folder."""


_OS_ERRORS: Dict[int, Type[RasterkitOSError]] = {
    _errno.ENOENT: RasterkitFileNotFoundError,
    _errno.EACCES: RasterkitPermissionError,
    _errno.EPERM: RasterkitPermissionError,
    _errno.EISDIR: RasterkitIsADirectoryError,
    _errno.ENOTDIR: RasterkitNotADirectoryError,
}

# The conversion library's kinds of failure (RKCONV_ERROR_*).
PIXEL_LIMIT, NOT_AN_IMAGE, DAMAGED, INPUT_OUTPUT, OUT_OF_MEMORY, BAD_ARGUMENT = 1, 2, 3, 4, 5, 6
_KINDS: Dict[int, Type[RasterkitError]] = {
    PIXEL_LIMIT: PixelLimitError,
    NOT_AN_IMAGE: UnsupportedImageError,
    DAMAGED: DamagedImageError,
    OUT_OF_MEMORY: RasterkitMemoryError,
    BAD_ARGUMENT: RasterkitArgumentError,
}


def error_of_kind(kind: int, error_number: int, line: str, path: Optional[PathLike] = None) -> RasterkitError:
    """The exception for a failure of this kind, from the library's line, which names its file itself."""
    if kind == INPUT_OUTPUT:
        return _OS_ERRORS.get(error_number, RasterkitOSError)(line, path, error_number, named=True)
    return _KINDS.get(kind, RasterkitError)(line, path, named=True)
