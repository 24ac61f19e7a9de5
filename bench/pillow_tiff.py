"""Times Pillow's decoding of a TIFF or PSD file held in memory (TIFF through libtiff in
process), around Image.open(...).load() only; the bytes are read once, untimed.

Usage: python3 pillow_tiff.py FILE [RUNS]
Prints one line: the best time of RUNS runs in ms."""
import io
import sys
import time

from PIL import Image


def main():
    data = open(sys.argv[1], "rb").read()
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        Image.open(io.BytesIO(data)).load()
        best = min(best, (time.perf_counter() - start) * 1000)
    print(f"{best:.2f}")


if __name__ == "__main__":
    main()
