"""Python access to the rasterkit C library through ctypes (standard library only).

The shared library is found through the RASTERKIT_LIBRARY environment
variable, or as librasterkit.so.0 on the loader's search path.

    with Image.read("photo.jpg") as image:
        image.transpose()
        image.flip_x()
        image.write("turned.png")
"""
import ctypes
import os

__all__ = ["Image", "RasterkitError", "library", "magic_type"]


class _Record(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int32), ("height", ctypes.c_int32), ("data", ctypes.POINTER(ctypes.c_uint8))]


_RecordPtr = ctypes.POINTER(_Record)
_u8p = ctypes.POINTER(ctypes.c_uint8)
_i32, _u32, _u8, _str = ctypes.c_int32, ctypes.c_uint32, ctypes.c_uint8, ctypes.c_char_p

# name: (result type, argument types), exactly as the C header declares them.
_SIGNATURES = {
    "rasterkit_image_new": (_i32, [ctypes.POINTER(_RecordPtr), _i32, _i32]),
    "rasterkit_image_delete": (_i32, [ctypes.POINTER(_RecordPtr)]),
    "rasterkit_image_resize": (_i32, [_RecordPtr, _i32, _i32]),
    "rasterkit_image_clear": (None, [_RecordPtr]),
    "rasterkit_image_copy": (_i32, [_RecordPtr, _RecordPtr]),
    "rasterkit_set_pixel_RGBA": (_i32, [_RecordPtr, _i32, _i32, _u8, _u8, _u8, _u8]),
    "rasterkit_get_pixel_RGBA": (_i32, [_RecordPtr, _i32, _i32, _u8p, _u8p, _u8p, _u8p]),
    "rasterkit_set_pixel": (_i32, [_RecordPtr, _i32, _i32, _u32]),
    "rasterkit_get_pixel": (_i32, [_RecordPtr, _i32, _i32, _u8p]),
    "rasterkit_image_flipx": (None, [_RecordPtr]),
    "rasterkit_image_flipy": (None, [_RecordPtr]),
    "rasterkit_transpose_image": (_i32, [_RecordPtr]),
    "rasterkit_readimage_bmp": (None, [_str, _RecordPtr]),
    "rasterkit_writeimage_bmp": (None, [_str, _RecordPtr]),
    "rasterkit_readimage_png": (None, [_str, _RecordPtr]),
    "rasterkit_writeimage_png": (None, [_str, _RecordPtr]),
    "rasterkit_pngbytebuffer_to_img": (_i32, [_RecordPtr, _u8p, _i32]),
    "rasterkit_pngbytebufferlen": (_i32, [_RecordPtr]),
    "rasterkit_pngbytebuffer_from_img": (_i32, [_RecordPtr, _u8p, _i32, ctypes.POINTER(_i32)]),
    "rasterkit_readimage_jpeg": (None, [_str, _RecordPtr]),
    "rasterkit_writeimage_jpeg": (None, [_str, _RecordPtr, _i32]),
    "rasterkit_magic_type": (_i32, [_str]),
    "rasterkit_readimage": (None, [_str, _RecordPtr]),
    "rasterkit_writeimage": (None, [_str, _RecordPtr]),
    "rasterkit_writeimage_select": (None, [_str, _RecordPtr, _i32]),
    "rasterkit_exportedtestfn": (_i32, [_i32, _i32]),
    "rasterkit_test_init": (None, []),
    "rasterkit_test_loadsave": (None, []),
    "rasterkit_test_binreadwrite": (None, []),
}

FORMATS = {"bmp": 1, "png": 2, "jpeg": 3}


def _load():
    lib = ctypes.CDLL(os.environ.get("RASTERKIT_LIBRARY", "librasterkit.so.0"))
    for name, (result, arguments) in _SIGNATURES.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


library = _load()


class RasterkitError(Exception):
    """A library call failed; the library's own message, if any, is on standard output."""


def _path(path):
    return os.fsencode(path)


def magic_type(path):
    """The format of a file by its first bytes: 'bmp', 'png', 'jpeg' or None."""
    code = library.rasterkit_magic_type(_path(path))
    return {v: k for k, v in FORMATS.items()}.get(code)


class Image:
    """An RGBA image owned by the library; freed when collected or on leaving a with-block."""

    def __init__(self, width=0, height=0):
        self._record = _RecordPtr()
        if library.rasterkit_image_new(ctypes.byref(self._record), width, height) != 0:
            library.rasterkit_image_delete(ctypes.byref(self._record))
            raise MemoryError("rasterkit_image_new failed for %dx%d" % (width, height))

    def close(self):
        if getattr(self, "_record", None):
            library.rasterkit_image_delete(ctypes.byref(self._record))

    def __del__(self):
        self.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _live(self):
        if not self._record:
            raise ValueError("the image has been closed")
        return self._record

    @property
    def width(self):
        return self._live().contents.width

    @property
    def height(self):
        return self._live().contents.height

    @property
    def size(self):
        return (self.width, self.height)

    def __repr__(self):
        return "Image(%d, %d)" % self.size if self._record else "Image(closed)"

    @classmethod
    def read(cls, path):
        """Reads a BMP, PNG or JPEG file, chosen by its content."""
        image = cls()
        library.rasterkit_readimage(_path(path), image._live())
        if image.width == 0:
            image.close()
            raise RasterkitError("%s could not be read" % os.fsdecode(path))
        return image

    def write(self, path, format=None, quality=None):
        """Writes by the name's extension, or as `format` ('bmp', 'png', 'jpeg'); `quality` means JPEG."""
        if quality is not None:
            library.rasterkit_writeimage_jpeg(_path(path), self._live(), int(quality))
        elif format is not None:
            library.rasterkit_writeimage_select(_path(path), self._live(), FORMATS[format])
        else:
            library.rasterkit_writeimage(_path(path), self._live())
        if not os.path.exists(path) or os.path.getsize(path) == 0:
            raise RasterkitError("%s could not be written" % os.fsdecode(path))

    def pixel(self, x, y, rgba=None):
        """The (r, g, b, a) at (x, y); with `rgba`, sets it first."""
        if rgba is not None:
            if library.rasterkit_set_pixel_RGBA(self._live(), x, y, *rgba) != 0:
                raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        out = (ctypes.c_uint8 * 4)()
        if library.rasterkit_get_pixel(self._live(), x, y, out) != 0:
            raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        return tuple(out)

    def flip_x(self):
        library.rasterkit_image_flipx(self._live())
        return self

    def flip_y(self):
        library.rasterkit_image_flipy(self._live())
        return self

    def transpose(self):
        if library.rasterkit_transpose_image(self._live()) != 0:
            raise MemoryError("rasterkit_transpose_image failed")
        return self

    def to_png_bytes(self):
        needed = library.rasterkit_pngbytebufferlen(self._live())
        if needed <= 0:
            raise RasterkitError("the image cannot be encoded as PNG")
        buffer = (ctypes.c_uint8 * needed)()
        length = ctypes.c_int32(0)
        library.rasterkit_pngbytebuffer_from_img(self._live(), buffer, needed, ctypes.byref(length))
        return bytes(buffer[: length.value])

    @classmethod
    def from_png_bytes(cls, data):
        image = cls()
        array = (ctypes.c_uint8 * len(data)).from_buffer_copy(data)
        result = library.rasterkit_pngbytebuffer_to_img(image._live(), array, len(data))
        if result != 0 or image.width == 0:
            image.close()
            raise RasterkitError("the bytes are not a PNG the library can decode")
        return image
