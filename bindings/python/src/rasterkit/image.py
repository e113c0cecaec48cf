"""The Image class: an RGBA record owned by the C library."""
from __future__ import annotations

import ctypes
import operator
import os
from typing import Any, Dict, Iterable, NamedTuple, Optional, Tuple

from ._conversion import DEFAULT_MAX_PIXELS, Geometry, Message, Metadata, Options, error, format_code, warn_about
from ._library import Header, RecordPointer, conversion, library
from .errors import PathLike, RasterkitError

FORMAT_NAMES = {code: os.fsdecode(conversion.rkconv_format_name(code)) for code in (1, 2, 3)}
_CHANNELS = 4
# PNG chunk framing, header chunks and the libpng's IDAT chunk size, for the worst-case encoding.
_PNG_FIXED_BYTES = 1024
_IDAT_CHUNK_BYTES = 8192
_CHUNK_OVERHEAD = 12

Pixel = Tuple[int, int, int, int]
# NumPy refuses a null data pointer even for an empty array; an empty image points here instead.
_NO_PIXELS = (ctypes.c_uint8 * 1)()


def _encode_path(path: PathLike) -> bytes:
    return os.fsencode(path)


def _index(value: Any, what: str) -> int:
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError("%s must be an integer, not %s" % (what, type(value).__name__)) from None


def _channel(value: Any, name: str) -> int:
    number = _index(value, name)
    if not 0 <= number <= 255:
        raise ValueError("%s must be within 0..255, not %d" % (name, number))
    return number


def _png_worst_case(width: int, height: int) -> int:
    """Bytes a PNG of this size can take at most: filter bytes, deflate's stored-block bound and chunk framing."""
    raw = height * (1 + _CHANNELS * width)
    deflated = raw + (raw >> 12) + (raw >> 14) + (raw >> 25) + 13
    return deflated + _CHUNK_OVERHEAD * (deflated // _IDAT_CHUNK_BYTES + 1) + _PNG_FIXED_BYTES


def format_for_name(path: PathLike) -> Optional[str]:
    """The format the library picks for a name by its extension, or None where it would fall back to PNG."""
    return FORMAT_NAMES.get(conversion.rkconv_format_from_extension(_encode_path(path)))


def magic_type(path: PathLike) -> Optional[str]:
    """The format of a file by its first bytes: 'bmp', 'png', 'jpeg', or None."""
    return FORMAT_NAMES.get(library.rasterkit_magic_type(_encode_path(path)))


class IccProfileInfo(NamedTuple):
    """A colour profile as a header tells it: its description and its length in bytes."""

    description: str
    length: int


class ProbeResult(NamedTuple):
    """What a file's header tells, without decoding it."""

    format: str
    width: int
    height: int
    orientation: int = 1
    icc_profile: Optional[IccProfileInfo] = None


def probe(path: PathLike) -> ProbeResult:
    """Format ('bmp', 'png', 'jpeg'), width and height, EXIF orientation (1 to 8) and colour profile
    (an IccProfileInfo, or None) from the header alone; nothing is decoded.

    Raises RasterkitError for a file the readers would refuse by its header. Every file the readers
    read gives the size they give. Width and height are as stored, before any turn the orientation asks.
    """
    header = Header()
    message = Message()
    metadata = Metadata()
    if conversion.rkconv_probe_file(_encode_path(path), ctypes.byref(header), metadata.handle, message.ref) != 0:
        raise error(message, path)
    profile = metadata.icc_profile
    info = IccProfileInfo(metadata.icc_description, len(profile)) if profile else None
    return ProbeResult(FORMAT_NAMES[header.format], header.width, header.height, metadata.orientation, info)


class Image:
    """An RGBA image, 8 bits per channel, held by the C library.

    Pixels are stored rows first, top row first, as red, green, blue, alpha (not premultiplied).
    The record is freed by :meth:`close`, on leaving a ``with`` block, or when the object is collected.

    ``numpy.asarray(image)`` is a zero-copy ``(height, width, 4)`` ``uint8`` view of the pixels. The view
    is valid while the image lives and is not resized, copied into, transposed or closed: each of those
    gives the record a new buffer (or none), and the old view must not be used afterwards.
    """

    def __init__(self, width: int = 0, height: int = 0) -> None:
        """A transparent black image of the size given; a non-positive size gives an empty image."""
        self.icc_profile: Optional[bytes] = None
        """The ICC colour profile the image's file carried (bytes), or None; write() and to_bytes() carry
        it into PNG and JPEG when it is an RGB profile. Images made here have none; it can be set."""
        self._record = RecordPointer()
        width, height = _index(width, "width"), _index(height, "height")
        if library.rasterkit_image_new(ctypes.byref(self._record), width, height) != 0:
            library.rasterkit_image_delete(ctypes.byref(self._record))
            raise MemoryError("no room for a %dx%d image (at most 2**29 pixels)" % (width, height))

    # Lifetime -------------------------------------------------------------

    def close(self) -> None:
        """Frees the record; further use raises ValueError. Closing twice is harmless."""
        if getattr(self, "_record", None):
            library.rasterkit_image_delete(ctypes.byref(self._record))

    def __del__(self) -> None:
        self.close()

    def __enter__(self) -> "Image":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def _live(self):
        if not self._record:
            raise ValueError("the image has been closed")
        return self._record

    # Size -----------------------------------------------------------------

    @property
    def width(self) -> int:
        """Pixels per row; 0 for an empty image."""
        return self._live().contents.width

    @property
    def height(self) -> int:
        """Rows; 0 for an empty image."""
        return self._live().contents.height

    @property
    def size(self) -> Tuple[int, int]:
        """(width, height)."""
        record = self._live().contents
        return (record.width, record.height)

    def __repr__(self) -> str:
        return "Image(%d, %d)" % self.size if self._record else "Image(closed)"

    # Files ----------------------------------------------------------------

    @classmethod
    def read(cls, path: PathLike, max_pixels: int = DEFAULT_MAX_PIXELS, auto_orient: bool = False,
             accept_damaged: bool = False, resize: Optional[Tuple[int, int]] = None, fit: Optional[str] = None,
             kernel: Optional[str] = None, exact: bool = False, **geometry: Any) -> "Image":
        """Reads a BMP, PNG or JPEG file, the format told by its content (every JPEG libjpeg-turbo decodes,
        CMYK and YCCK ones made RGB). Raises a RasterkitError subclass if it cannot: PixelLimitError,
        UnsupportedImageError, DamagedImageError, or an OSError one (FileNotFoundError for a missing file).

        A file whose header declares more than `max_pixels` pixels is refused before any pixel memory is
        taken (default 268435456, 16384 x 16384; 0 allows up to the library's ceiling of 2**29). Damaged
        data (a file that ends early, corrupt data) fails unless `accept_damaged`, which keeps what decodes
        and warns (RuntimeWarning). The pixels are as stored unless `auto_orient` turns them upright by the
        file's EXIF orientation. The file's colour profile, if any, is kept in `icc_profile`.

        `resize=(width, height)` fits the image to that box while decoding (`fit` 'inside' by default,
        'cover', 'contain', 'fill', 'outside'; a side of 0 or None follows the aspect ratio), shrinking a
        JPEG on load where the kernel keeps at least a 2x reduction unless `exact`; `kernel` as in
        resize(). `crop=(x, y, width, height)`, `rotate=`, `position=`, `background=`, `linear=` and
        `enlarge=` as in convert_files(). ``Image.read(path, resize=(224, 224), fit="cover")`` then
        ``numpy.asarray`` gives a fixed-size array in one call.
        """
        options = Options(max_pixels=max_pixels, auto_orient=auto_orient, accept_damaged=accept_damaged,
                          geometry=Geometry(resize=resize, fit=fit, kernel=kernel, exact=exact, **geometry))
        image = cls()
        message, metadata = Message(), Metadata()
        if conversion.rkconv_read_file(_encode_path(path), options.handle, image._live(), metadata.handle,
                                       message.ref) != 0:
            image.close()
            raise error(message, path)
        warn_about(message)
        image.icc_profile = metadata.icc_profile
        return image

    @classmethod
    def from_bytes(cls, data: bytes, max_pixels: int = DEFAULT_MAX_PIXELS, auto_orient: bool = False,
                   accept_damaged: bool = False, resize: Optional[Tuple[int, int]] = None, fit: Optional[str] = None,
                   kernel: Optional[str] = None, exact: bool = False, **geometry: Any) -> "Image":
        """Decodes the bytes of a BMP, PNG or JPEG file (format by content), as read() reads a file."""
        view = memoryview(data).cast("B")
        options = Options(max_pixels=max_pixels, auto_orient=auto_orient, accept_damaged=accept_damaged,
                          geometry=Geometry(resize=resize, fit=fit, kernel=kernel, exact=exact, **geometry))
        array = (ctypes.c_uint8 * len(view)).from_buffer_copy(view) if len(view) else None
        image = cls()
        message, metadata = Message(), Metadata()
        if conversion.rkconv_read_bytes(array, len(view), options.handle, image._live(), metadata.handle,
                                        message.ref) != 0:
            image.close()
            raise error(message)
        warn_about(message)
        image.icc_profile = metadata.icc_profile
        return image

    def write(self, path: PathLike, format: Optional[str] = None, quality: Optional[int] = None,
              compression: Optional[int] = None, progressive: bool = False, chroma: Optional[int] = None) -> None:
        """Writes the image safely: to a temporary file beside `path`, checked, then renamed over it.

        The format is `format` ('bmp', 'png', 'jpeg') if given, else the name's extension (anything
        unknown is written as PNG with a RuntimeWarning). `quality` (0..100, default 100),
        `progressive` and `chroma` (444 or 420, the default) apply to JPEG, which always gets Huffman
        tables built for it; `compression` (PNG level 0..9, default 2: 0 stores, 9 smallest) to PNG, which is written as RGB when every
        pixel is opaque and decodes to exactly these pixels. `icc_profile` goes into PNG and JPEG when it
        is an RGB profile (else it is dropped with a RuntimeWarning). On failure RasterkitError is
        raised, saying why, and an existing file is left as it was.
        """
        record = self._live()
        options = Options(format=format_code(format), quality=quality, compression=compression,
                          progressive=progressive, chroma=chroma)
        options.check(path)
        message, metadata = Message(), Metadata(self.icc_profile)
        if conversion.rkconv_write_file(_encode_path(path), record, options.handle, metadata.handle, message.ref) != 0:
            raise error(message, path)
        warn_about(message)

    def to_bytes(self, format: str, quality: Optional[int] = None, compression: Optional[int] = None,
                 progressive: bool = False, chroma: Optional[int] = None) -> bytes:
        """The image encoded as a whole BMP, PNG or JPEG file, as written by write() with that format."""
        record = self._live()
        if format is None:
            raise ValueError("to_bytes needs a format: bmp, png or jpeg")
        options = Options(format=format_code(format), quality=quality, compression=compression,
                          progressive=progressive, chroma=chroma)
        options.check()
        data, length, message, metadata = ctypes.c_void_p(), ctypes.c_size_t(), Message(), Metadata(self.icc_profile)
        if conversion.rkconv_write_bytes(record, options.handle, metadata.handle, ctypes.byref(data),
                                         ctypes.byref(length), message.ref) != 0:
            raise error(message)
        warn_about(message)
        try:
            return ctypes.string_at(data.value, length.value)
        finally:
            conversion.rkconv_free(data)

    # Pixels ---------------------------------------------------------------

    def pixel(self, x: int, y: int, rgba: Optional[Iterable[int]] = None) -> Pixel:
        """The (r, g, b, a) at (x, y); with `rgba`, sets it first. Values must be integers within 0..255."""
        record = self._live()
        x, y = _index(x, "x"), _index(y, "y")
        if rgba is not None:
            values = tuple(rgba)
            if len(values) != _CHANNELS:
                raise ValueError("a pixel has 4 channels, not %d" % len(values))
            channels = [_channel(v, name) for v, name in zip(values, ("red", "green", "blue", "alpha"))]
            if library.rasterkit_set_pixel_RGBA(record, x, y, *channels) != 0:
                raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        out = (ctypes.c_uint8 * _CHANNELS)()
        if library.rasterkit_get_pixel(record, x, y, out) != 0:
            raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        return tuple(out)  # type: ignore[return-value]

    # Transforms -----------------------------------------------------------

    def flip_x(self) -> "Image":
        """Mirrors left to right, in place."""
        library.rasterkit_image_flipx(self._live())
        return self

    def flip_y(self) -> "Image":
        """Mirrors top to bottom, in place."""
        library.rasterkit_image_flipy(self._live())
        return self

    def _reshape(self, geometry: Geometry) -> "Image":
        options, message = Options(geometry=geometry), Message()
        if conversion.rkconv_apply_geometry(self._live(), options.handle, message.ref) != 0:
            raise error(message)
        return self

    def resize(self, size: Tuple[int, int], kernel: str = "lanczos3", linear: bool = False) -> "Image":
        """Resamples to exactly `size` (width, height), in place: separable, the kernel widened with the
        reduction, premultiplied where a pixel is not opaque. Kernels: nearest, linear, cubic (Catmull-Rom),
        mitchell, lanczos2, lanczos3; `linear` filters in linear light. Pixel centres follow Pillow's
        convention, so the result matches Pillow's resize within a level. A new buffer."""
        width, height = size
        return self._reshape(Geometry(resize=(width, height), fit="fill", kernel=kernel, linear=linear, exact=True))

    def crop(self, x: int, y: int, width: int, height: int) -> "Image":
        """Keeps the rectangle at (x, y) of width x height, in place; RasterkitArgumentError (a ValueError)
        when it leaves the image. A new buffer."""
        return self._reshape(Geometry(crop=(x, y, width, height)))

    def rotate(self, degrees: int) -> "Image":
        """Turns the image 90, 180 or 270 degrees clockwise, in place."""
        return self._reshape(Geometry(rotate=degrees))

    def transpose(self) -> "Image":
        """Swaps rows and columns (width and height swap); a new buffer, so earlier NumPy views go stale."""
        if library.rasterkit_transpose_image(self._live()) != 0:
            raise MemoryError("no room to transpose a %dx%d image" % self.size)
        return self

    # PNG bytes ------------------------------------------------------------

    def to_png_bytes(self) -> bytes:
        """The image encoded as PNG, compressed once into a worst-case buffer and trimmed."""
        record = self._live()
        width, height = self.size
        if width == 0:
            raise RasterkitError("an empty image has no PNG encoding")
        capacity = min(_png_worst_case(width, height), 2**31 - 1)
        length = ctypes.c_int32(0)
        buffer = (ctypes.c_uint8 * capacity)()
        library.rasterkit_pngbytebuffer_from_img(record, buffer, capacity, ctypes.byref(length))
        if length.value > capacity:  # not expected: the bound covers stored blocks
            capacity = length.value
            buffer = (ctypes.c_uint8 * capacity)()
            library.rasterkit_pngbytebuffer_from_img(record, buffer, capacity, ctypes.byref(length))
        if length.value <= 0 or length.value > capacity:
            raise RasterkitError("the image could not be encoded as PNG")
        return ctypes.string_at(buffer, length.value)

    @classmethod
    def from_png_bytes(cls, data: bytes) -> "Image":
        """Decodes PNG bytes; raises RasterkitError if they are not a PNG the library can decode."""
        view = memoryview(data).cast("B")
        image = cls()
        array = (ctypes.c_uint8 * len(view)).from_buffer_copy(view)
        if library.rasterkit_pngbytebuffer_to_img(image._live(), array, len(view)) != 0 or image.width == 0:
            image.close()
            raise RasterkitError("the bytes are not a PNG the library can decode")
        return image

    # NumPy ----------------------------------------------------------------

    @property
    def __array_interface__(self) -> Dict[str, Any]:
        """NumPy's view of the pixels: (height, width, 4) uint8, sharing the record's buffer."""
        record = self._live().contents
        address = ctypes.cast(record.data, ctypes.c_void_p).value or ctypes.addressof(_NO_PIXELS)
        return {
            "version": 3,
            "shape": (record.height, record.width, _CHANNELS),
            "typestr": "|u1",
            "data": (address, False),
        }

    @classmethod
    def from_array(cls, array: Any) -> "Image":
        """A new image holding a copy of a uint8 array of shape (h, w, 4), (h, w, 3) or (h, w).

        Three channels get alpha 255; a 2-D array is grey (red = green = blue) with alpha 255.
        Strided arrays (slices, transposes) are fine. Other dtypes raise TypeError, other shapes ValueError.
        """
        import numpy

        source = numpy.asarray(array)
        if source.dtype != numpy.uint8:
            raise TypeError("from_array needs a uint8 array, not %s" % source.dtype)
        if source.ndim == 2:
            channels = 1
        elif source.ndim == 3 and source.shape[2] in (3, 4):
            channels = source.shape[2]
        else:
            raise ValueError("from_array needs shape (h, w, 4), (h, w, 3) or (h, w), not %s" % (source.shape,))
        height, width = source.shape[:2]
        image = cls(width, height)
        if width == 0 or height == 0:
            return image
        target = numpy.asarray(image)
        if channels == 4:
            target[...] = source
            return image
        target[..., :3] = source[..., None] if channels == 1 else source
        target[..., 3] = 255
        return image
