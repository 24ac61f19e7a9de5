"""The peer of sv_bench_thumbs: Pillow opens each JPEG of a folder and calls thumbnail((85, 85))
(its draft mode decodes the JPEG reduced, at least twice the thumbnail's size), one loop over the
files in name order, timed in-process around the loop.

Usage: /usr/bin/python3 pil_thumbs.py FOLDER
Prints "pillow <count> <made> <ms>".
"""
import sys
import time
from pathlib import Path

from PIL import Image


def main():
    files = sorted(str(p) for p in Path(sys.argv[1]).glob("*.jpg"))
    made = 0
    start = time.perf_counter()
    for name in files:
        with Image.open(name) as image:
            image.thumbnail((85, 85))
            made += max(image.size) == 85
    ms = (time.perf_counter() - start) * 1000
    print(f"pillow {len(files)} {made} {ms:.1f}")


main()
