#!/usr/bin/env python3
"""Writes the hand-made hostile files of this folder. Each is small and
breaks one thing: a truncation, a wrong length or an absurd header field.
Run from this folder; the output is committed, this script documents it."""
import struct
import zlib


def bmp(width=2, height=2, planes=1, bpp=24, compression=0, offset=54, hrez=3780, vrez=3780, pixels=b"", magic=b"BM"):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, planes, bpp, compression, len(pixels), hrez, vrez, 0, 0)
    head = magic + struct.pack("<IHHI", 54 + len(pixels), 0, 0, offset)
    return head + info + pixels


def chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)


def png(width, height, depth=8, colour=6, idat=None, extra=b""):
    sig = b"\x89PNG\r\n\x1a\n"
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0))
    if idat is None:
        raw = b"".join(b"\x00" + b"\x80" * (width * 4) for _ in range(height))
        idat = zlib.compress(raw)
    return sig + ihdr + extra + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


def jpeg_header(width, height, progressive=False):
    soi = b"\xff\xd8"
    app0 = b"\xff\xe0" + struct.pack(">H", 16) + b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    dqt = b"\xff\xdb" + struct.pack(">H", 67) + b"\x00" + bytes([1] * 64)
    sof = (b"\xff\xc2" if progressive else b"\xff\xc0") + struct.pack(">HBHHB", 11, 8, height, width, 1) + b"\x01\x11\x00"
    return soi + app0 + dqt + sof


files = {
    "bmp-huge-dimensions.bmp": bmp(width=0x7FFFFFFF, height=0x7FFFFFFF),
    "bmp-min-width.bmp": bmp(width=-0x80000000, height=5),
    "bmp-large-no-pixels.bmp": bmp(width=4000, height=-4000, bpp=32),
    "bmp-absurd-depth.bmp": bmp(width=1 << 20, height=1, bpp=65535),
    "bmp-offset-beyond-end.bmp": bmp(offset=0xFFFFFFF0, pixels=b"\x01" * 16),
    "bmp-truncated-pixels.bmp": bmp(width=64, height=64, pixels=b"\x7f" * 100),
    "bmp-header-cut.bmp": bmp()[:30],
    "bmp-zero-planes.bmp": bmp(planes=0),
    "bmp-rle.bmp": bmp(compression=1, bpp=8, pixels=b"\x00\x01"),
    "bmp-only-magic.bmp": b"BM",
    "png-huge-dimensions.png": png(1000000, 1000000, idat=zlib.compress(b"\x00" * 64)),
    "png-limit-plus-one.png": png(23171, 23171, idat=zlib.compress(b"\x00" * 64)),
    "png-zero-width.png": png(0, 10),
    "png-bad-depth.png": png(4, 4, depth=3),
    "png-idat-garbage.png": png(8, 8, idat=b"\x78\x9c" + b"\xff" * 40),
    "png-truncated.png": png(32, 32)[:70],
    "png-signature-only.png": b"\x89PNG\r\n\x1a\n",
    "jpeg-65500-square.jpg": jpeg_header(65500, 65500) + b"\xff\xd9",
    "jpeg-progressive-65500.jpg": jpeg_header(65500, 65500, progressive=True) + b"\xff\xd9",
    "jpeg-zero-height.jpg": jpeg_header(16, 0) + b"\xff\xd9",
    "jpeg-header-only.jpg": jpeg_header(64, 64),
    "jpeg-soi-only.jpg": b"\xff\xd8\xff\xe0",
    "jpeg-bad-segment-length.jpg": b"\xff\xd8\xff\xe0\x00\x01JFIF",
    "jpeg-no-huffman-scan.jpg": jpeg_header(16, 16) + b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00" + b"\x12" * 50 + b"\xff\xd9",
}

for name, data in files.items():
    with open(name, "wb") as f:
        f.write(data)
