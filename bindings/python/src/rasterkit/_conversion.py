"""Calls into the conversion library: its settings object and the messages it hands back."""
from __future__ import annotations

import ctypes
import operator
import os
from typing import NamedTuple, Optional, Sequence, Tuple

from ._library import WriteFacts, conversion
from .errors import PathLike, RasterkitError, error_of_kind

DEFAULT_MAX_PIXELS = 268435456
"""Reads refuse images with more pixels than this unless told otherwise (16384 x 16384); 0: up to 2**29."""

FORMAT_BY_NAME, FORMAT_OF_INPUT = 0, 4
TRANSFORM_CODES = {"flip_x": 1, "flip_y": 2, "transpose": 3}
PROFILE_KEEP, PROFILE_STRIP, PROFILE_TO_SRGB = 0, 1, 2


class Options:
    """The library's settings for one call, freed when the object goes."""

    def __init__(self, format: int = FORMAT_BY_NAME, quality: Optional[int] = None,
                 max_pixels: int = DEFAULT_MAX_PIXELS, transforms: Sequence[str] = (),
                 compression: Optional[int] = None, auto_orient: bool = True, profile: int = PROFILE_KEEP,
                 accept_damaged: bool = False, geometry: Optional["Geometry"] = None, progressive: bool = False,
                 chroma: Optional[int] = None) -> None:
        self.handle = conversion.rkconv_options_new()
        if not self.handle:
            raise MemoryError("no room for conversion settings")
        conversion.rkconv_options_set_format(self.handle, format)
        conversion.rkconv_options_set_quality(self.handle, -1 if quality is None else _number(quality, "quality"))
        conversion.rkconv_options_set_max_pixels(self.handle, check_max_pixels(max_pixels))
        conversion.rkconv_options_set_compression(self.handle,
                                                  -1 if compression is None else _number(compression, "compression"))
        conversion.rkconv_options_set_progressive(self.handle, 1 if progressive else -1)
        conversion.rkconv_options_set_chroma(self.handle, 0 if chroma is None else _number(chroma, "chroma"))
        conversion.rkconv_options_set_auto_orient(self.handle, 1 if auto_orient else 0)
        conversion.rkconv_options_set_profile(self.handle, profile)
        conversion.rkconv_options_set_accept_damaged(self.handle, 1 if accept_damaged else 0)
        for name in transforms:
            conversion.rkconv_options_add_transform(self.handle, TRANSFORM_CODES[name])
        if geometry is not None:
            geometry.apply_to(self.handle)

    def check(self, path: Optional[PathLike] = None) -> None:
        """Raises RasterkitArgumentError (a ValueError) where the library says these settings cannot write
        `path` (None: bytes, or each file of a batch)."""
        facts, message = WriteFacts(), Message()
        if conversion.rkconv_describe_write(self.handle, None if path is None else os.fsencode(path), -1,
                                            ctypes.byref(facts), message.ref) != 0:
            raise error(message)

    def __del__(self) -> None:
        if getattr(self, "handle", None):
            conversion.rkconv_options_free(self.handle)
            self.handle = None


class Geometry(NamedTuple):
    """Crop, resize to a box, rotation: the library's geometry settings, plain enough to travel to Dask."""

    resize: Optional[Tuple[int, int]] = None
    fit: Optional[str] = None
    position: Optional[str] = None
    background: Optional[Tuple[int, ...]] = None
    kernel: Optional[str] = None
    linear: bool = False
    exact: bool = False
    enlarge: bool = True
    crop: Optional[Tuple[int, int, int, int]] = None
    rotate: Optional[int] = None

    def apply_to(self, handle) -> None:
        if self.resize is not None:
            width, height = self.resize
            conversion.rkconv_options_set_resize(handle, _number(width or 0, "width"), _number(height or 0, "height"))
        for setter, text in ((conversion.rkconv_options_set_fit, self.fit),
                             (conversion.rkconv_options_set_position, self.position),
                             (conversion.rkconv_options_set_kernel, self.kernel)):
            if text is not None:
                setter(handle, os.fsencode(text))
        if self.background is not None:
            colour = ",".join(str(_number(v, "background")) for v in self.background)
            conversion.rkconv_options_set_background(handle, colour.encode())
        if self.crop is not None:
            conversion.rkconv_options_set_crop(handle, *(_number(v, "crop") for v in self.crop))
        if self.rotate is not None:
            conversion.rkconv_options_set_rotate(handle, _number(self.rotate, "rotate"))
        conversion.rkconv_options_set_linear(handle, 1 if self.linear else 0)
        conversion.rkconv_options_set_exact(handle, 1 if self.exact else 0)
        conversion.rkconv_options_set_enlarge(handle, 1 if self.enlarge else 0)


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
        return self.take()[0]

    def take(self) -> Tuple[Optional[str], int, int]:
        """The text, the kind of failure and the system's error number; the message is freed."""
        if not self.pointer.value:
            return None, 0, 0
        text = os.fsdecode(ctypes.string_at(self.pointer.value))
        kind = conversion.rkconv_message_kind(self.pointer)
        error_number = conversion.rkconv_message_errno(self.pointer)
        conversion.rkconv_free(self.pointer)
        self.pointer = ctypes.c_void_p()
        return text, kind, error_number


def error(message: Message, path: Optional[PathLike] = None) -> RasterkitError:
    """The RasterkitError subclass of the library's kind of failure, its text the library's line (which
    names the file); `path` is kept on the exception."""
    text, kind, error_number = message.take()
    return error_of_kind(kind, error_number, text or "failed", path)


def _number(value: object, what: str) -> int:
    try:
        number = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError("%s must be an integer, not %s" % (what, type(value).__name__)) from None
    # Out of 32 bits, the library's range check still has to see something out of range.
    return max(min(number, 2**31 - 1), -2**31)


def format_code(format: Optional[str], default: int = FORMAT_BY_NAME) -> int:
    """The library's code of a format name ('bmp', 'png', 'jpeg', 'jpg'); `default` for None."""
    if format is None:
        return default
    code = conversion.rkconv_format_from_name(os.fsencode(format)) if isinstance(format, str) else -1
    if code < 0:
        raise ValueError("format must be one of bmp, png, jpeg, not %r" % (format,))
    return code


def warn_about(message: Message) -> None:
    """A success's warnings from the library, one Python warning per line."""
    import warnings

    text = message.text()
    for line in (text or "").splitlines():
        warnings.warn(line, RuntimeWarning, stacklevel=3)


def check_max_pixels(max_pixels: int) -> int:
    value = operator.index(max_pixels)
    if value < 0:
        raise ValueError("max_pixels must be 0 or more, not %d" % value)
    return value
