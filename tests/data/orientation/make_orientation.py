"""Writes o1.jpg .. o8.jpg: one 48x32 photo crop stored as is, each with an EXIF block whose IFD0
Orientation tag is 1 to 8, and oN-upright.png, what ImageMagick's -auto-orient makes of each: the
reference for the library's own turn.

    python3 make_orientation.py BASE.jpg      (BASE: a 48x32 JPEG without EXIF)
"""
import struct
import subprocess
import sys


def exif_segment(orientation):
    """APP1 with a big-endian TIFF block: IFD0 holding the one Orientation entry."""
    ifd = struct.pack(">H", 1) + struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack(">I", 0)
    body = b"Exif\0\0" + b"MM\0*" + struct.pack(">I", 8) + ifd
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


base = open(sys.argv[1], "rb").read()
assert base[:2] == b"\xff\xd8"
for n in range(1, 9):
    with open("o%d.jpg" % n, "wb") as f:
        f.write(base[:2] + exif_segment(n) + base[2:])
    subprocess.check_call(["convert", "o%d.jpg" % n, "-auto-orient", "-strip", "o%d-upright.png" % n])
