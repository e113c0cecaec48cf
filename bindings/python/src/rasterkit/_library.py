"""Finds and loads the shared library and declares every exported function."""
from __future__ import annotations

import ctypes
import os

BUNDLED_NAME = "librasterkit.so.0"
ENVIRONMENT_OVERRIDE = "RASTERKIT_LIBRARY"


class Record(ctypes.Structure):
    """The C record: width, height and the RGBA buffer."""

    _fields_ = [("width", ctypes.c_int32), ("height", ctypes.c_int32), ("data", ctypes.POINTER(ctypes.c_uint8))]


RecordPointer = ctypes.POINTER(Record)
_u8p = ctypes.POINTER(ctypes.c_uint8)
_i32, _u32, _u8, _path = ctypes.c_int32, ctypes.c_uint32, ctypes.c_uint8, ctypes.c_char_p

# name: (result type, argument types), as the C header declares them.
SIGNATURES = {
    "rasterkit_image_new": (_i32, [ctypes.POINTER(RecordPointer), _i32, _i32]),
    "rasterkit_image_delete": (_i32, [ctypes.POINTER(RecordPointer)]),
    "rasterkit_image_resize": (_i32, [RecordPointer, _i32, _i32]),
    "rasterkit_image_clear": (None, [RecordPointer]),
    "rasterkit_image_copy": (_i32, [RecordPointer, RecordPointer]),
    "rasterkit_set_pixel_RGBA": (_i32, [RecordPointer, _i32, _i32, _u8, _u8, _u8, _u8]),
    "rasterkit_get_pixel_RGBA": (_i32, [RecordPointer, _i32, _i32, _u8p, _u8p, _u8p, _u8p]),
    "rasterkit_set_pixel": (_i32, [RecordPointer, _i32, _i32, _u32]),
    "rasterkit_get_pixel": (_i32, [RecordPointer, _i32, _i32, _u8p]),
    "rasterkit_image_flipx": (None, [RecordPointer]),
    "rasterkit_image_flipy": (None, [RecordPointer]),
    "rasterkit_transpose_image": (_i32, [RecordPointer]),
    "rasterkit_readimage_bmp": (None, [_path, RecordPointer]),
    "rasterkit_writeimage_bmp": (None, [_path, RecordPointer]),
    "rasterkit_readimage_png": (None, [_path, RecordPointer]),
    "rasterkit_writeimage_png": (None, [_path, RecordPointer]),
    "rasterkit_pngbytebuffer_to_img": (_i32, [RecordPointer, _u8p, _i32]),
    "rasterkit_pngbytebufferlen": (_i32, [RecordPointer]),
    "rasterkit_pngbytebuffer_from_img": (_i32, [RecordPointer, _u8p, _i32, ctypes.POINTER(_i32)]),
    "rasterkit_readimage_jpeg": (None, [_path, RecordPointer]),
    "rasterkit_writeimage_jpeg": (None, [_path, RecordPointer, _i32]),
    "rasterkit_magic_type": (_i32, [_path]),
    "rasterkit_readimage": (None, [_path, RecordPointer]),
    "rasterkit_writeimage": (None, [_path, RecordPointer]),
    "rasterkit_writeimage_select": (None, [_path, RecordPointer, _i32]),
    "rasterkit_exportedtestfn": (_i32, [_i32, _i32]),
    "rasterkit_test_init": (None, []),
    "rasterkit_test_loadsave": (None, []),
    "rasterkit_test_binreadwrite": (None, []),
}


def library_path() -> str:
    """RASTERKIT_LIBRARY if set, else the copy bundled with the package, else the loader's own search."""
    override = os.environ.get(ENVIRONMENT_OVERRIDE)
    if override:
        return override
    bundled = os.path.join(os.path.dirname(os.path.abspath(__file__)), BUNDLED_NAME)
    return bundled if os.path.exists(bundled) else BUNDLED_NAME


def load() -> ctypes.CDLL:
    # CDLL (not PyDLL) releases the interpreter lock during every call, so
    # threads that call the library run in parallel.
    lib = ctypes.CDLL(library_path())
    for name, (result, arguments) in SIGNATURES.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


library = load()
