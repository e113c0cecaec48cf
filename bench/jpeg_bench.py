"""JPEG to JPEG at quality 80, whole processes side by side; bench/jpeg.sh runs it.

    python3 bench/jpeg_bench.py TOOL BASELINE_TOOL OUT ROUNDS PHOTO...
"""
import json
import os
import statistics
import subprocess
import sys
import time

SLACK = 1.005


def run(command, output, rounds):
    """Median milliseconds of `rounds` runs after one warm-up, and the output's size."""
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append((time.perf_counter() - start) * 1e3)
    return statistics.median(times), os.path.getsize(output)


def peak_kib(command):
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, check=True, capture_output=True, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def main():
    tool, old_tool, out, rounds, photos = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:]
    sharp = json.load(open(os.path.join(out, "sharp.json")))
    target = os.path.join(out, "o.jpg")
    met = missed = 0
    print("JPEG to JPEG at quality 80; ms (median of %d), bytes" % rounds)
    for photo in photos:
        name = os.path.basename(photo)
        progressive = b"\xff\xc2" in open(photo, "rb").read()
        now = run([tool, "convert", photo, target, "--quality", "80"], target, rounds)
        before = run([old_tool, "convert", photo, target, "--quality", "80"], target, rounds)
        layered = run([tool, "convert", photo, target, "--quality", "80", "--progressive"], target, rounds)
        # cjpeg and sharp write no colour profile; the tool carries the photo's unless told not to.
        stripped = run([tool, "convert", photo, target, "--quality", "80", "--strip"], target, rounds)
        cjpeg = run(["sh", "-c", "djpeg '%s' | cjpeg -quality 80 -optimize -outfile '%s'" % (photo, target)],
                    target, rounds)
        vips = run(["vips", "copy", photo, target + "[Q=80]"], target, rounds)
        print("  %s (%s)" % (name, "progressive" if progressive else "baseline"))
        for who, (ms, size) in (("rasterkit now", now), ("rasterkit before", before), ("--progressive", layered),
                                ("--strip", stripped),
                                ("djpeg | cjpeg -optimize", cjpeg), ("vips copy", vips),
                                ("sharp (in process)", (sharp[name]["ms"], sharp[name]["bytes"]))):
            print("    %-24s %8.1f ms %9d bytes  %.3fx before's bytes" % (who, ms, size, size / before[1]))
        size_ok = stripped[1] <= cjpeg[1] * SLACK
        met, missed = met + size_ok, missed + (not size_ok)
        line = "    bytes (--strip) %.4fx cjpeg -optimize's, target <= %.3f  %s" % (
            stripped[1] / cjpeg[1], SLACK, "met" if size_ok else "MISSED")
        if not progressive:
            time_ok = now[0] <= before[0] * 1.1
            met, missed = met + time_ok, missed + (not time_ok)
            line += "; time %.3fx before, target <= 1.10  %s" % (now[0] / before[0], "met" if time_ok else "MISSED")
        print(line)
    largest = photos[3]
    print("Peak memory, %s to JPEG: now %d KiB, before %d KiB" % (
        os.path.basename(largest), peak_kib([tool, "convert", largest, target, "--quality", "80"]),
        peak_kib([old_tool, "convert", largest, target, "--quality", "80"])))
    print("targets: %d met, %d missed" % (met, missed))


main()
