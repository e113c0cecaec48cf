"""Thumbnails side by side: whole processes and in process, quality against a full-decode Lanczos3 reference,
an exact resize, a batch and the memory of a thumbnail. bench/scaling.sh runs it.

    python3 bench/scaling_bench.py TOOL DATA ROUNDS
"""
import glob
import json
import os
import resource
import statistics
import subprocess
import sys
import time

import numpy
from PIL import Image as PillowImage

import rasterkit
from rasterkit import Image

BOX = 256
LARGE_BOX = 1024


def milliseconds(job, rounds):
    job()
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        job()
        times.append((time.perf_counter() - start) * 1e3)
    return statistics.median(times)


def interleaved(first, second, rounds):
    """Medians of two in-process actions run alternately, each once to warm up, so that both meet the
    machine in the same state (the processes measured just before leave it busy for a while)."""
    first()
    second()
    times = ([], [])
    for _ in range(rounds):
        for job, kept in ((first, times[0]), (second, times[1])):
            start = time.perf_counter()
            job()
            kept.append((time.perf_counter() - start) * 1e3)
    return statistics.median(times[0]), statistics.median(times[1])


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def psnr(ours, reference):
    error = ((ours[..., :3].astype(float) - reference[..., :3].astype(float)) ** 2).mean()
    return float("inf") if error == 0 else 10 * numpy.log10(255 ** 2 / error)


def pixels(path):
    with PillowImage.open(path) as opened:
        return numpy.asarray(opened.convert("RGB"))


def reference(photo, size):
    with PillowImage.open(photo) as opened:
        return numpy.asarray(opened.convert("RGB").resize(size, PillowImage.LANCZOS))


def pillow_thumbnail(photo, box, target=None):
    with PillowImage.open(photo) as opened:
        opened.draft("RGB", (box, box))
        opened.thumbnail((box, box), PillowImage.LANCZOS)
        if target:
            opened.save(target, compress_level=1)


def report(name, ours, theirs, target=None):
    ratio = ours / theirs
    verdict = "" if target is None else "target <= %.2fx  %s" % (target, "met" if ratio <= target else "MISSED")
    print("    %-34s %8.1f ms | %8.1f ms | ratio %.3f  %s" % (name, ours, theirs, ratio, verdict))
    return ratio <= target if target is not None else None


def main():
    tool, data, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    out = os.path.join(data, "out")
    os.makedirs(out, exist_ok=True)
    photos = sorted(glob.glob(os.path.join(data, "photos", "*.jpg")))
    node = ["node", os.path.join(os.path.dirname(os.path.abspath(__file__)), "sharp_convert.js")]
    sharp_env = dict(os.environ, SHARP_HOME=os.path.join(data, "node"))
    verdicts = []
    chart = []
    for box in (BOX, LARGE_BOX):
        sharp = json.loads(subprocess.run([*node, "thumbnail:%d" % box, str(rounds), out, *photos], env=sharp_env,
                                          check=True, capture_output=True, text=True).stdout)
        print("Fit inside %dx%d, PNG out; ms (median of %d); PSNR against Pillow's full-decode LANCZOS" % (box, box, rounds))
        for photo in photos:
            name = os.path.basename(photo)
            ours_png, vips_png, magick_png = (os.path.join(out, "%s.%s.png" % (name, who)) for who in ("rk", "vips", "im"))
            process = milliseconds(lambda: run(tool, "convert", photo, ours_png, "--resize", "%dx%d" % (box, box),
                                               "--compression", "1"), rounds)
            vips = milliseconds(lambda: run("vipsthumbnail", photo, "-s", str(box), "-o", vips_png + "[compression=1]"), rounds)
            magick = milliseconds(lambda: run("convert", "-define", "jpeg:size=%dx%d" % (2 * box, 2 * box), photo,
                                              "-thumbnail", "%dx%d" % (box, box), "-quality", "10", magick_png), rounds)
            in_process, pillow = interleaved(lambda: Image.read(photo, resize=(box, box)),
                                             lambda: pillow_thumbnail(photo, box), rounds)
            pillow_png = os.path.join(out, name + ".pil.png")
            pillow_thumbnail(photo, box, pillow_png)
            ours = pixels(ours_png)
            expected = reference(photo, (ours.shape[1], ours.shape[0]))
            quality = {who: psnr(pixels(path), expected) if pixels(path).shape == ours.shape else float("nan")
                       for who, path in (("rasterkit", ours_png), ("vips", vips_png), ("Pillow", pillow_png),
                                         ("sharp", os.path.join(out, name + ".sharp.png")), ("ImageMagick", magick_png))}
            progressive = b"\xff\xc2" in open(photo, "rb").read(200000)
            print("  %s (%s)" % (name, "progressive" if progressive else "baseline"))
            print("    PSNR dB: " + ", ".join("%s %.1f" % item for item in quality.items()))
            if box == BOX:
                verdicts.append(quality["rasterkit"] >= max(45.0, quality["vips"] - 0.5))
                print("    quality: %.1f dB, target >= 45 and >= vips - 0.5  %s" % (
                    quality["rasterkit"], "met" if verdicts[-1] else "MISSED"))
                verdicts.append(report("process vs vips thumbnail", process, vips, 0.9 if progressive else 0.5))
                verdicts.append(report("in process vs Pillow draft+thumbnail", in_process, pillow, 1.0))
                verdicts.append(report("in process vs sharp", in_process, sharp[name]["ms"], 1.0))
                report("process vs ImageMagick -thumbnail", process, magick)
                chart.append((name, process / vips, in_process / pillow, in_process / sharp[name]["ms"]))
            else:
                report("in process vs Pillow draft+thumbnail", in_process, pillow)
                report("in process vs sharp", in_process, sharp[name]["ms"])

    print("Exact resize of a decoded 12-megapixel image to 1000 wide (one thread)")
    photo = os.path.join(data, "photos", "shell-5120x2880.jpg")
    decoded = Image.read(photo)
    with PillowImage.open(photo) as opened:
        pil = opened.convert("RGBA")
    width, height = decoded.size
    size = (1000, round(1000 * height / width))
    exact = milliseconds(lambda: Image.from_array(numpy.asarray(decoded)).resize(size), rounds)
    copy_only = milliseconds(lambda: Image.from_array(numpy.asarray(decoded)), rounds)
    verdicts.append(report("rasterkit resize vs Pillow LANCZOS", exact - copy_only,
                           milliseconds(lambda: pil.resize(size, PillowImage.LANCZOS), rounds), 0.5))

    print("Batch: %d photos to %dx%d thumbnails" % (len(photos), BOX, BOX))
    batch_out = os.path.join(out, "batch")
    ours = milliseconds(lambda: run(tool, "convert", *photos, "-o", batch_out, "--resize", "%dx%d" % (BOX, BOX),
                                    "-j", "2", "--quiet"), rounds)
    vips = milliseconds(lambda: subprocess.run(
        "printf '%%s\\n' %s | xargs -P 2 -I{} vipsthumbnail {} -s %d -o %s/%%s.jpg" % (" ".join(photos), BOX, out),
        shell=True, check=True), rounds)
    verdicts.append(report("rasterkit -j 2 vs vipsthumbnail, 2 at once", ours, vips, 0.6))

    print("Peak memory, 9-megapixel baseline JPEG")
    nine = os.path.join(data, "photos", "shell-9mp.jpg")
    peaks = []
    for args in (("--resize", "%dx%d" % (BOX, BOX)), ()):
        measured = subprocess.run(["/usr/bin/time", "-f", "%M", tool, "convert", nine, os.path.join(out, "nine.png"),
                                   *args], capture_output=True, text=True, check=True)
        peaks.append(int(measured.stderr.strip().splitlines()[-1]))
    ok = peaks[0] <= peaks[1] / 2
    verdicts.append(ok)
    print("    thumbnail %d KiB, full-size conversion %d KiB: %.2fx, target <= 0.50x  %s" % (
        peaks[0], peaks[1], peaks[0] / peaks[1], "met" if ok else "MISSED"))
    print("targets: %d met, %d missed" % (verdicts.count(True), verdicts.count(False)))

    table = os.path.join(os.path.dirname(tool), "..", "..", "scaling-results.tsv")
    with open(table, "w") as f:
        for row in chart:
            f.write("%s\t%.3f\t%.3f\t%.3f\n" % row)
    subprocess.run(["gnuplot", "-e", "set terminal png size 900,420; set output 'bench/scaling-chart.png';"
                    "set style data histograms; set style fill solid; set yrange [0:*]; set key top left;"
                    "set ylabel 'time ratio (lower is faster)'; set xtics rotate by -20;"
                    "set title '256-pixel thumbnails: rasterkit against vips (process), Pillow and sharp (in process)';"
                    "plot '%s' using 2:xtic(1) title 'vs vips thumbnail', '' using 3 title 'vs Pillow draft+thumbnail',"
                    " '' using 4 title 'vs sharp', 1 notitle lc rgb 'black'" % table], check=False)


if __name__ == "__main__":
    main()
