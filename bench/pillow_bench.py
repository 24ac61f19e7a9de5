"""Times Pillow's reducing-gap resize of the benchmark picture to 256 pixels wide, in process,
around the call only (the picture is read once, untimed).

Usage: python3 pillow_bench.py SOURCE.ppm [RUNS]
Prints one line: the case name and the best time of RUNS runs in ms."""
import sys
import time

from PIL import Image


def main():
    source = Image.open(sys.argv[1])
    source.load()
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    width = 256
    height = round(source.height * width / source.width)
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        source.resize((width, height), Image.Resampling.BILINEAR, reducing_gap=2.0)
        best = min(best, (time.perf_counter() - start) * 1000)
    print(f"pillow-fastlinear-256 {best:.2f}")


if __name__ == "__main__":
    main()
