"""Calls into the conversion library: its settings object and the messages it hands back."""
from __future__ import annotations

import ctypes
import operator
import os
from typing import Optional, Sequence

from ._library import conversion
from .errors import PathLike, RasterkitError

DEFAULT_MAX_PIXELS = 268435456
"""Reads refuse images with more pixels than this unless told otherwise (16384 x 16384); 0: up to 2**29."""

FORMAT_BY_NAME, FORMAT_OF_INPUT = 0, 4
TRANSFORM_CODES = {"flip_x": 1, "flip_y": 2, "transpose": 3}
PROFILE_KEEP, PROFILE_STRIP, PROFILE_TO_SRGB = 0, 1, 2


class Options:
    """The library's settings for one call, freed when the object goes."""

    def __init__(self, format: int = FORMAT_BY_NAME, quality: Optional[int] = None,
                 max_pixels: int = DEFAULT_MAX_PIXELS, transforms: Sequence[str] = (),
                 compression: Optional[int] = None, auto_orient: bool = True, profile: int = PROFILE_KEEP) -> None:
        self.handle = conversion.rkconv_options_new()
        if not self.handle:
            raise MemoryError("no room for conversion settings")
        conversion.rkconv_options_set_format(self.handle, format)
        conversion.rkconv_options_set_quality(self.handle, -1 if quality is None else quality)
        conversion.rkconv_options_set_max_pixels(self.handle, max_pixels)
        conversion.rkconv_options_set_compression(self.handle, -1 if compression is None else compression)
        conversion.rkconv_options_set_auto_orient(self.handle, 1 if auto_orient else 0)
        conversion.rkconv_options_set_profile(self.handle, profile)
        for name in transforms:
            conversion.rkconv_options_add_transform(self.handle, TRANSFORM_CODES[name])

    def __del__(self) -> None:
        if getattr(self, "handle", None):
            conversion.rkconv_options_free(self.handle)
            self.handle = None


class Metadata:
    """The library's record of a file's orientation and colour profile, freed when the object goes."""

    def __init__(self, icc_profile: Optional[bytes] = None) -> None:
        self.handle = conversion.rkconv_metadata_new()
        if not self.handle:
            raise MemoryError("no room for metadata")
        if icc_profile:
            data = ctypes.create_string_buffer(bytes(icc_profile), len(icc_profile))
            if conversion.rkconv_metadata_set_icc_profile(self.handle, data, len(icc_profile)) != 0:
                raise ValueError("an ICC profile of %d bytes is too large" % len(icc_profile))

    @property
    def orientation(self) -> int:
        return conversion.rkconv_metadata_orientation(self.handle)

    @property
    def icc_profile(self) -> Optional[bytes]:
        length = ctypes.c_size_t()
        address = conversion.rkconv_metadata_icc_profile(self.handle, ctypes.byref(length))
        return ctypes.string_at(address, length.value) if address else None

    @property
    def icc_description(self) -> str:
        return os.fsdecode(conversion.rkconv_metadata_icc_description(self.handle))

    def __del__(self) -> None:
        if getattr(self, "handle", None):
            conversion.rkconv_metadata_free(self.handle)
            self.handle = None


class Message:
    """The out-parameter for the library's message; ``text`` takes it over and frees it."""

    def __init__(self) -> None:
        self.pointer = ctypes.c_void_p()

    @property
    def ref(self):
        return ctypes.byref(self.pointer)

    def text(self) -> Optional[str]:
        if not self.pointer.value:
            return None
        text = os.fsdecode(ctypes.string_at(self.pointer.value))
        conversion.rkconv_free(self.pointer)
        self.pointer = ctypes.c_void_p()
        return text


def error(message: Message, path: Optional[PathLike] = None) -> RasterkitError:
    """A RasterkitError from the library's message, which names the file itself where there is one."""
    text = message.text() or "failed"
    if path is not None:
        prefix = os.fsdecode(path) + ": "
        if text.startswith(prefix):
            text = text[len(prefix):]
    return RasterkitError(text, path)


def check_compression(compression: Optional[int]) -> Optional[int]:
    if compression is None:
        return None
    value = operator.index(compression)
    if not 0 <= value <= 9:
        raise ValueError("compression must be within 0..9, not %d" % value)
    return value


def warn_about(message: Message) -> None:
    """A success's warning from the library, as a Python warning."""
    import warnings

    text = message.text()
    if text:
        warnings.warn(text, RuntimeWarning, stacklevel=3)


def check_max_pixels(max_pixels: int) -> int:
    value = operator.index(max_pixels)
    if value < 0:
        raise ValueError("max_pixels must be 0 or more, not %d" % value)
    return value
