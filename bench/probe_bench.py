"""The figures of bench/probe.sh: every command a whole process, timed and measured with wait4."""
import glob
import os
import statistics
import subprocess
import sys
import time
import zlib

tool, data, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])


def measure(command, stdin=None, stdout=subprocess.DEVNULL):
    """Seconds, resident KiB and exit status of one run."""
    source = open(stdin, "rb") if stdin else subprocess.DEVNULL
    start = time.perf_counter()
    child = subprocess.Popen(command, stdin=source, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    if stdin:
        source.close()
    return seconds, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def peak_kib(command):
    """Peak resident KiB of the command itself, through GNU time: a child forked from this
    interpreter would count the interpreter's pages too."""
    timed = subprocess.run(["/usr/bin/time", "-f", "%M", *command], stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, text=True)
    return int(timed.stderr.strip().splitlines()[-1])


def median_of(commands, count):
    """Median seconds of each command, run in turns so that none always goes first."""
    times = {name: [] for name in commands}
    for k in range(count):
        names = list(commands)
        for name in names[k % len(names):] + names[: k % len(names)]:
            times[name].append(measure(commands[name])[0])
    return {name: statistics.median(values) for name, values in times.items()}


def huge_png(path):
    def chunk(kind, body):
        return len(body).to_bytes(4, "big") + kind + body + zlib.crc32(kind + body).to_bytes(4, "big")
    width = height = 20000
    compressor = zlib.compressobj(9)
    row = bytes(1 + width * 3)
    body = b"".join(compressor.compress(row) for _ in range(height)) + compressor.flush()
    header = width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 2, 0, 0, 0])
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", body) + chunk(b"IEND", b""))


print("machine: %d cores; medians of %d rounds" % (os.cpu_count(), rounds))
print("\ninfo on one 12-megapixel file (whole process)")
for ext in ("png", "jpg"):
    photo = os.path.join(data, "photo12." + ext)
    t = median_of({"rasterkit info": [tool, "info", photo], "identify -ping": ["identify", "-ping", photo],
                   "vipsheader": ["vipsheader", photo]}, rounds)
    print("  %s (%.1f MB): rasterkit %.1f ms, identify -ping %.1f ms, vipsheader %.1f ms; rasterkit / identify %.2fx "
          "(target <= 1: %s)" % (ext, os.path.getsize(photo) / 1e6, t["rasterkit info"] * 1e3,
                                 t["identify -ping"] * 1e3, t["vipsheader"] * 1e3,
                                 t["rasterkit info"] / t["identify -ping"],
                                 "met" if t["rasterkit info"] <= t["identify -ping"] else "missed"))

files = sorted(glob.glob(os.path.join(data, "folder", "*")))
print("\ninfo over a folder of %d files in one call" % len(files))
t = median_of({"rasterkit": [tool, "info", *files], "identify": ["identify", "-ping", *files],
               "vipsheader": ["vipsheader", *files]}, max(3, rounds // 3))
print("  rasterkit %.3f s, identify -ping %.3f s, vipsheader %.3f s (target: fastest: %s)"
      % (t["rasterkit"], t["identify"], t["vipsheader"],
         "met" if t["rasterkit"] < min(t["identify"], t["vipsheader"]) else "missed"))

huge = os.path.join(data, "huge.png")
if not os.path.exists(huge):
    huge_png(huge)
print("\nA %d KB PNG that declares 20000x20000" % (os.path.getsize(huge) // 1024))
for name, command in (("info", [tool, "info", huge]), ("convert", [tool, "convert", huge, os.path.join(data, "h.png")])):
    runs = [measure(command) for _ in range(rounds)]
    seconds = statistics.median(r[0] for r in runs)
    peak = max(peak_kib(command) for _ in range(3)) / 1024
    print("  %-8s %.4f s, peak %.1f MB, status %d (target < 0.1 s and < 30 MB: %s)"
          % (name, seconds, peak, runs[0][2], "met" if seconds < 0.1 and peak < 30 else "missed"))

print("\n12-megapixel JPEG to PNG: standard input to standard output against file to file")
photo = os.path.join(data, "photo12.jpg")
out = os.path.join(data, "out.png")
files_time, stream_time = [], []
for k in range(max(3, rounds // 3)):
    pair = [lambda: files_time.append(measure([tool, "convert", photo, out])[0]),
            lambda: stream_time.append(measure([tool, "convert", "-", "-", "--format", "png"], stdin=photo,
                                               stdout=open(out, "wb"))[0])]
    for run in (pair if k % 2 == 0 else pair[::-1]):
        run()
a, b = statistics.median(files_time), statistics.median(stream_time)
print("  file to file %.3f s, stream %.3f s: %.3fx (target <= 1.10: %s)" % (a, b, b / a, "met" if b <= 1.1 * a else "missed"))
