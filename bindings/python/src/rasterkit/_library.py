"""Finds and loads the two shared libraries and declares every function the package calls."""
from __future__ import annotations

import ctypes
import os

BUNDLED_NAME = "librasterkit.so.0"
CONVERSION_NAME = "librasterkit_convert.so.0"
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


_vp, _size = ctypes.c_void_p, ctypes.c_size_t
_message = ctypes.POINTER(_vp)


class Header(ctypes.Structure):
    """What a header tells: format code, width, height."""

    _fields_ = [("format", _i32), ("width", _i32), ("height", _i32)]


class WriteFacts(ctypes.Structure):
    """What a write will produce: format code, extension, JPEG quality, PNG level."""

    _fields_ = [("format", _i32), ("extension", _path), ("quality", _i32), ("compression", _i32)]


# The conversion library's functions: name: (result type, argument types).
CONVERSION_SIGNATURES = {
    "rkconv_free": (None, [_vp]),
    "rkconv_options_new": (_vp, []),
    "rkconv_options_free": (None, [_vp]),
    "rkconv_options_set_max_pixels": (_i32, [_vp, ctypes.c_uint64]),
    "rkconv_options_set_format": (_i32, [_vp, _i32]),
    "rkconv_options_set_quality": (_i32, [_vp, _i32]),
    "rkconv_options_set_compression": (_i32, [_vp, _i32]),
    "rkconv_options_set_progressive": (_i32, [_vp, _i32]),
    "rkconv_options_set_chroma": (_i32, [_vp, _i32]),
    "rkconv_options_add_transform": (_i32, [_vp, _i32]),
    "rkconv_options_set_auto_orient": (_i32, [_vp, _i32]),
    "rkconv_options_set_profile": (_i32, [_vp, _i32]),
    "rkconv_options_set_accept_damaged": (_i32, [_vp, _i32]),
    "rkconv_message_kind": (_i32, [_vp]),
    "rkconv_options_set_resize": (_i32, [_vp, _i32, _i32]),
    "rkconv_options_set_fit": (_i32, [_vp, _path]),
    "rkconv_options_set_position": (_i32, [_vp, _path]),
    "rkconv_options_set_background": (_i32, [_vp, _path]),
    "rkconv_options_set_enlarge": (_i32, [_vp, _i32]),
    "rkconv_options_set_kernel": (_i32, [_vp, _path]),
    "rkconv_options_set_linear": (_i32, [_vp, _i32]),
    "rkconv_options_set_exact": (_i32, [_vp, _i32]),
    "rkconv_options_set_crop": (_i32, [_vp, _i32, _i32, _i32, _i32]),
    "rkconv_options_set_rotate": (_i32, [_vp, _i32]),
    "rkconv_apply_geometry": (_i32, [RecordPointer, _vp, _message]),
    "rkconv_message_errno": (_i32, [_vp]),
    "rkconv_format_from_name": (_i32, [_path]),
    "rkconv_format_name": (_path, [_i32]),
    "rkconv_describe_write": (_i32, [_vp, _path, _i32, ctypes.POINTER(WriteFacts), _message]),
    "rkconv_metadata_new": (_vp, []),
    "rkconv_metadata_free": (None, [_vp]),
    "rkconv_metadata_orientation": (_i32, [_vp]),
    "rkconv_metadata_icc_profile": (_vp, [_vp, ctypes.POINTER(_size)]),
    "rkconv_metadata_icc_description": (_path, [_vp]),
    "rkconv_metadata_set_icc_profile": (_i32, [_vp, _vp, _size]),
    "rkconv_format_from_extension": (_i32, [_path]),
    "rkconv_probe_file": (_i32, [_path, ctypes.POINTER(Header), _vp, _message]),
    "rkconv_read_file": (_i32, [_path, _vp, RecordPointer, _vp, _message]),
    "rkconv_read_bytes": (_i32, [_vp, _size, _vp, RecordPointer, _vp, _message]),
    "rkconv_write_file": (_i32, [_path, RecordPointer, _vp, _vp, _message]),
    "rkconv_write_bytes": (_i32, [RecordPointer, _vp, _vp, ctypes.POINTER(_vp), ctypes.POINTER(_size), _message]),
    "rkconv_convert": (_i32, [_path, ctypes.c_int, _path, ctypes.c_int, _vp, _message]),
    "rkconv_plan_batch": (_i32, [ctypes.POINTER(_path), _size, _path, _i32, ctypes.POINTER(_vp), _message]),
    "rkconv_plan_size": (_size, [_vp]),
    "rkconv_plan_input": (_path, [_vp, _size]),
    "rkconv_plan_output": (_path, [_vp, _size]),
    "rkconv_plan_free": (None, [_vp]),
    "rkconv_make_directories": (_i32, [_path, _message]),
}


def library_path() -> str:
    """RASTERKIT_LIBRARY if set, else the copy bundled with the package, else the loader's own search."""
    override = os.environ.get(ENVIRONMENT_OVERRIDE)
    if override:
        return override
    bundled = os.path.join(os.path.dirname(os.path.abspath(__file__)), BUNDLED_NAME)
    return bundled if os.path.exists(bundled) else BUNDLED_NAME


def conversion_library_path() -> str:
    """The conversion library beside the rasterkit library in use."""
    return os.path.join(os.path.dirname(library_path()), CONVERSION_NAME)


def _declare(lib: ctypes.CDLL, signatures: dict) -> ctypes.CDLL:
    for name, (result, arguments) in signatures.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


# CDLL (not PyDLL) releases the interpreter lock during every call, so
# threads that call the libraries run in parallel. The rasterkit library
# loads first, so the conversion library binds to that same copy.
library = _declare(ctypes.CDLL(library_path()), SIGNATURES)
conversion = _declare(ctypes.CDLL(conversion_library_path()), CONVERSION_SIGNATURES)
