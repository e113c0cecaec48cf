"""The README's Python example: turn a picture a quarter clockwise."""
import sys

from rasterkit import Image


def quarter_turn(source, target):
    with Image.read(source) as image:
        image.transpose().flip_x()
        image.write(target)
        return image.size


if __name__ == "__main__":
    print("%dx%d" % quarter_turn(sys.argv[1], sys.argv[2]))
