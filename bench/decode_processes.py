"""Whole processes of the tool before and after, interleaved: a JPEG to JPEG conversion and info over the corpus.

    python3 bench/decode_processes.py OLD_TOOL NEW_TOOL PHOTO CORPUS WORK ROUNDS
"""
import os
import statistics
import subprocess
import sys
import time


def seconds(command):
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start


def race(rounds, old, new):
    seconds(old), seconds(new)
    olds, news = [], []
    for r in range(rounds):
        pair = [(olds, old), (news, new)]
        for times, command in pair if r % 2 == 0 else reversed(pair):
            times.append(seconds(command))
    return statistics.median(olds), statistics.median(news)


def report(what, old, new, target):
    ratio = new / old
    verdict = "target <= %.2fx  %s" % (target, "met" if ratio <= target else "MISSED")
    print("  %-44s before %8.1f ms | now %8.1f ms | ratio %.3f  %s" % (what, old * 1e3, new * 1e3, ratio, verdict))
    return ratio <= target


def main():
    old_tool, new_tool, photo, corpus, work, rounds = sys.argv[1:7]
    rounds = int(rounds)
    files = sorted(os.path.join(root, name) for root, _, names in os.walk(corpus) for name in names
                   if name.lower().endswith((".png", ".bmp", ".jpg", ".jpeg")))
    print("Whole processes, the tool before this change and now")
    met = [
        report("convert JPEG to JPEG (%s)" % os.path.basename(photo),
               *race(rounds, [old_tool, "convert", photo, os.path.join(work, "old.jpg"), "--quality", "80"],
                     [new_tool, "convert", photo, os.path.join(work, "new.jpg"), "--quality", "80"]), 1.02),
        report("info over the corpus (%d files)" % len(files),
               *race(rounds, [old_tool, "info", *files], [new_tool, "info", *files]), 1.05),
    ]
    print("targets: %d met, %d missed" % (met.count(True), met.count(False)))


if __name__ == "__main__":
    main()
