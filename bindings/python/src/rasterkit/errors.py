"""The one exception type for failed library operations."""
from __future__ import annotations

import os
from typing import Optional, Union

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class RasterkitError(Exception):
    """A read, write or encode failed. ``path`` names the file at fault, or is None for memory operations.

    The library's own message, where it prints one, is on standard output (libjpeg's on standard error).
    """

    def __init__(self, message: str, path: Optional[PathLike] = None) -> None:
        self.path = None if path is None else os.fsdecode(path)
        super().__init__(message if self.path is None else "%s: %s" % (self.path, message))
