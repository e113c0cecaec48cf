"""NumPy: darken the left half of a picture in place through a zero-copy view, then build one from an array.

    python numpy_view.py photo.jpg darker.png
"""
import sys

import numpy

import rasterkit


def darken_left_half(source, target):
    with rasterkit.Image.read(source) as image:
        pixels = numpy.asarray(image)            # (height, width, 4) uint8, shares the image's memory
        half = pixels[:, : image.width // 2, :3]
        half //= 2                               # written straight into the image
        image.write(target)
        return image.size


def stripes(target):
    grey = numpy.tile(numpy.arange(256, dtype=numpy.uint8), (64, 1))    # (64, 256): grey, alpha 255
    with rasterkit.Image.from_array(grey) as image:
        image.write(target)


if __name__ == "__main__":
    print("%dx%d" % darken_left_half(sys.argv[1], sys.argv[2]))
