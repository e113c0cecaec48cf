"""Convert a folder of pictures to JPEG on every core of this machine.

    python batch_threads.py photos/ out/
"""
import sys

import rasterkit


def main(source_folder, output_folder):
    results = rasterkit.convert_files([source_folder], output_folder, format="jpeg", quality=90,
                                      transforms=["transpose", "flip_x"])
    for result in results:
        print(result.output if result.ok else "failed: %s" % result.error)
    return sum(not r.ok for r in results)


if __name__ == "__main__":
    sys.exit(1 if main(sys.argv[1], sys.argv[2]) else 0)
