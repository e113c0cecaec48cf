"""rasterkit: BMP, PNG and JPEG images through the rasterkit C library.

The shared library ships inside the package; set RASTERKIT_LIBRARY to use another build.

    import rasterkit

    with rasterkit.Image.read("photo.jpg") as image:   # BMP, PNG or JPEG, by content
        image.transpose().flip_x()                     # a quarter turn clockwise
        image.write("turned.png")                      # safe write, format by extension

    pixels = numpy.asarray(image)                      # zero-copy (height, width, 4) uint8 view
    results = rasterkit.convert_files(["a.jpg", "b.png"], "out", format="png", workers=4)

Failed reads, writes and encodes raise RasterkitError, which names the file.
"""
from importlib import metadata as _metadata

from ._library import library, library_path
from .batch import ConversionResult, convert_files
from .errors import RasterkitError
from .image import Image, format_for_name, magic_type

try:
    __version__ = _metadata.version("rasterkit")
except _metadata.PackageNotFoundError:  # used from a source tree
    __version__ = "0+unknown"

__all__ = [
    "ConversionResult",
    "Image",
    "RasterkitError",
    "__version__",
    "convert_files",
    "format_for_name",
    "library",
    "library_path",
    "magic_type",
]
