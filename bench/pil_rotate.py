"""Times Pillow's quarter turn and rotations by 17 degrees of a PPM picture (single-threaded),
as the peer of sv_bench_rotate: one line per case with the result size and the best time of RUNS
runs in ms, the loading of the file not timed.

Usage: /usr/bin/python3 pil_rotate.py SOURCE.ppm [RUNS]
"""
import sys
import time

from PIL import Image


def best_ms(runs, work):
    best = None
    result = None
    for _ in range(runs):
        start = time.perf_counter()
        result = work()
        ms = (time.perf_counter() - start) * 1000
        best = ms if best is None or ms < best else best
    return best, result


def main():
    source = Image.open(sys.argv[1])
    source.load()
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    # Pillow turns counter-clockwise for positive angles, as ours does.
    cases = [
        ("rotate90", lambda: source.transpose(Image.Transpose.ROTATE_90)),
        ("rotate17-nearest", lambda: source.rotate(17, Image.Resampling.NEAREST, expand=True)),
        ("rotate17-bilinear", lambda: source.rotate(17, Image.Resampling.BILINEAR, expand=True)),
        ("rotate17-bicubic", lambda: source.rotate(17, Image.Resampling.BICUBIC, expand=True)),
    ]
    for name, work in cases:
        ms, result = best_ms(runs, work)
        print(f"{name:<16} {result.width:5d}x{result.height:<5d} {ms:9.1f}")


main()
