"""rasterkit: BMP, PNG and JPEG images through the rasterkit C library.

The shared library ships inside the package; set RASTERKIT_LIBRARY to use another build.

    import rasterkit

    with rasterkit.Image.read("photo.jpg") as image:   # BMP, PNG or JPEG, by content
        image.transpose().flip_x()                     # a quarter turn clockwise
        image.write("turned.png")                      # safe write, format by extension

    pixels = numpy.asarray(image)                      # zero-copy (height, width, 4) uint8 view
    results = rasterkit.convert_files(["a.jpg", "b.png"], "out", format="png", workers=4)
    rasterkit.probe("photo.jpg")                       # ProbeResult(format='jpeg', width=..., height=...)

Failed reads, writes and encodes raise a subclass of RasterkitError, which names the file: PixelLimitError,
UnsupportedImageError, DamagedImageError, RasterkitArgumentError (a ValueError), RasterkitMemoryError, and
RasterkitOSError (an OSError; FileNotFoundError, PermissionError and the like for their errno).
"""
from importlib import metadata as _metadata

from ._conversion import DEFAULT_MAX_PIXELS
from ._library import conversion, conversion_library_path, library, library_path
from .batch import ConversionResult, convert_files
from .errors import (DamagedImageError, PixelLimitError, RasterkitArgumentError, RasterkitError, RasterkitMemoryError,
                     RasterkitOSError, UnsupportedImageError)
from .image import IccProfileInfo, Image, ProbeResult, format_for_name, magic_type, probe

try:
    __version__ = _metadata.version("rasterkit")
except _metadata.PackageNotFoundError:  # used from a source tree
    __version__ = "0+unknown"

__all__ = [
    "DEFAULT_MAX_PIXELS",
    "ConversionResult",
    "Image",
    "RasterkitError",
    "PixelLimitError",
    "UnsupportedImageError",
    "DamagedImageError",
    "RasterkitArgumentError",
    "RasterkitMemoryError",
    "RasterkitOSError",
    "__version__",
    "convert_files",
    "format_for_name",
    "library",
    "library_path",
    "magic_type",
    "probe",
    "ProbeResult",
    "IccProfileInfo",
    "conversion",
    "conversion_library_path",
]
