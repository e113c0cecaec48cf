"""The Python package against the C library called directly, on a 12-megapixel photo, and
convert_files on 50 photos with 1 and 2 threads. Run by bench/python.sh.

    python python_bench.py PHOTO_JPEG BATCH_FOLDER OUT_FOLDER [ROUNDS]
"""
import ctypes
import os
import shutil
import statistics
import sys
import time

import numpy

import rasterkit
from rasterkit import Image
from rasterkit._library import RecordPointer

lib = rasterkit.library


def median_seconds(action, rounds):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def interleaved(first, second, rounds):
    """Medians of two actions run alternately, each once to warm up."""
    first(), second()
    a, b = [], []
    for i in range(rounds):
        for action, into in ((first, a), (second, b)) if i % 2 == 0 else ((second, b), (first, a)):
            start = time.perf_counter()
            action()
            into.append(time.perf_counter() - start)
    return statistics.median(a), statistics.median(b)


def report(what, binding, direct, target):
    ratio = binding / direct
    verdict = "met" if ratio <= target else "missed"
    print("  %-34s binding %9.2f ms | direct %9.2f ms | ratio %.3f  target <= %.2fx %s"
          % (what, binding * 1e3, direct * 1e3, ratio, target, verdict))


def main(photo, batch_folder, out, rounds):
    record = RecordPointer()
    lib.rasterkit_image_new(ctypes.byref(record), 0, 0)
    path = os.fsencode(photo)
    target_png = os.path.join(out, "photo.png")

    def direct_read():
        lib.rasterkit_readimage(path, record)

    def binding_read():
        Image.read(photo).close()

    image = Image.read(photo)
    print("12 MP photo %dx%d, %d rounds, medians" % (image.width, image.height, rounds))
    binding, direct = interleaved(binding_read, direct_read, rounds)
    report("read JPEG", binding, direct, 1.05)
    binding, direct = interleaved(lambda: image.write(target_png), lambda: lib.rasterkit_writeimage(
        os.fsencode(target_png), record), rounds)
    report("write PNG (safe write vs in place)", binding, direct, 1.05)

    capacity = 128 << 20
    buffer = (ctypes.c_uint8 * capacity)()
    length = ctypes.c_int32(0)
    binding, direct = interleaved(image.to_png_bytes, lambda: lib.rasterkit_pngbytebuffer_from_img(
        record, buffer, capacity, ctypes.byref(length)), rounds)
    report("to_png_bytes vs one encode", binding, direct, 1.1)
    two_pass = median_seconds(lambda: lib.rasterkit_pngbytebufferlen(record), 1) + direct
    print("  %-34s %9.2f ms (measure, then encode: the old binding)" % ("length first, then encode", two_pass * 1e3))

    start = time.perf_counter()
    for _ in range(1000):
        numpy.asarray(image)
    print("  %-34s %9.2f us per call (a view: no copy)" % ("numpy.asarray", (time.perf_counter() - start) * 1e3))

    inputs = sorted(os.path.join(batch_folder, n) for n in os.listdir(batch_folder))
    print("convert_files: %d photos JPEG -> PNG" % len(inputs))
    timings = {}
    for workers in (1, 2, 1, 2):
        folder = os.path.join(out, "batch")
        shutil.rmtree(folder, ignore_errors=True)
        start = time.perf_counter()
        results = rasterkit.convert_files(inputs, folder, format="png", workers=workers)
        timings.setdefault(workers, []).append(time.perf_counter() - start)
        assert all(r.ok for r in results)
    one, two = min(timings[1]), min(timings[2])
    print("  1 thread %.2f s | 2 threads %.2f s | ratio %.3f  target <= 0.60 %s"
          % (one, two, two / one, "met" if two / one <= 0.6 else "missed"))
    image.close()
    lib.rasterkit_image_delete(ctypes.byref(record))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]) if len(sys.argv) > 4 else 7)
