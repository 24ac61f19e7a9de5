"""Resizes a PPM picture with Pillow for the resampler tests.

Usage: pil_resize.py INPUT OUTPUT FILTER WIDTH HEIGHT X0 Y0 X1 Y1
FILTER is bilinear or lanczos; X0 Y0 X1 Y1 is the source box (fractional pixels) that maps onto
the whole output.
"""
import sys

from PIL import Image

FILTERS = {"bilinear": Image.Resampling.BILINEAR, "lanczos": Image.Resampling.LANCZOS}


def main():
    source, output, name = sys.argv[1:4]
    width, height = int(sys.argv[4]), int(sys.argv[5])
    box = tuple(float(v) for v in sys.argv[6:10])
    with Image.open(source) as picture:
        picture.resize((width, height), FILTERS[name], box=box).save(output)


if __name__ == "__main__":
    main()
