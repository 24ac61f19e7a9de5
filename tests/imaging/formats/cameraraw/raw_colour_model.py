#!/usr/bin/python3
"""A numpy model of the development of a Bayer mosaic: black level and channel multipliers, the
bilinear demosaicing of the 3 x 3 neighbourhood, the magnitude histogram, the white point, the
tone table and the 8-bit or 16-bit output less a one-pixel border.

Usage: raw_colour_model.py MOSAIC WIDTH HEIGHT FILTERS BLACK MAXIMUM MUL0 MUL1 MUL2 GAMMA
                           BRIGHTNESS SHARE WIDE OUT
MOSAIC holds HEIGHT x WIDTH little-endian 16-bit samples; OUT receives the rows of red, green,
blue samples (bytes, or little-endian 16-bit words when WIDE is 1).
"""
import sys

import numpy as np


def fc(filters, row, col):
    return (filters >> ((((row << 1) & 14) + (col & 1)) << 1)) & 3


def main():
    (mosaic_path, width, height, filters, black, maximum, m0, m1, m2, gamma, brightness, share,
     wide, out_path) = sys.argv[1:]
    width, height, filters, black, maximum, wide = (int(width), int(height), int(filters),
                                                    int(black), int(maximum), int(wide) == 1)
    mul = np.array([m0, m1, m2], dtype=np.float32).astype(np.float64)
    gamma = float(np.float32(gamma))
    brightness = float(np.float32(brightness))
    mosaic = np.fromfile(mosaic_path, dtype='<u2').reshape(height, width).astype(np.int64)
    colour = np.array([[fc(filters, r, c) for c in range(width)] for r in range(height)])

    # Scaling: zero samples stay zero.
    maximum = max(maximum - black, 1)
    scaled = np.trunc((mosaic - black) * mul[colour])
    scaled = np.clip(scaled, 0, min(maximum, 65535)).astype(np.int64)
    scaled[mosaic == 0] = 0
    image = np.zeros((height, width, 3), dtype=np.int64)
    for c in range(3):
        image[:, :, c] = np.where(colour == c, scaled, 0)

    # Bilinear: each missing colour from the neighbours of that colour, direct ones weighing 2.
    result = image.copy()
    for r in range(1, height - 1):
        for col in range(1, width - 1):
            sums = np.zeros(4, dtype=np.int64)
            weights = np.zeros(4, dtype=np.int64)
            for y in (-1, 0, 1):
                for x in (-1, 0, 1):
                    if y == 0 and x == 0:
                        continue
                    n = colour[r + y, col + x]
                    s = 1 if (y == 0 or x == 0) else 0
                    sums[n] += image[r + y, col + x, n] << s
                    weights[n] += 1 << s
            for c in range(3):
                if c != colour[r, col] and weights[c] > 0:
                    result[r, col, c] = sums[c] // weights[c]

    inner = result[1:height - 1, 1:width - 1]
    magnitude = np.minimum(np.sqrt((inner.astype(np.float64) ** 2).sum(axis=2)) * 0.5, 65535)
    magnitude = magnitude.astype(np.int64)
    histogram = np.bincount((magnitude >> 3).ravel(), minlength=8192)
    limit = int(width * height * float(share))
    total = 0
    v = 8191
    while v >= 1:
        total += histogram[v]
        if total > limit:
            break
        v -= 1
    white = v * 16.0 or 1.0
    idx = np.arange(65536, dtype=np.float64)
    with np.errstate(divide='ignore'):
        tone = np.power(2 * idx / white, gamma - 1) * brightness * 442 / white
    tone[0] = 0
    if wide:
        tone = tone / 255 * 65535
    values = np.trunc(inner * tone[magnitude][:, :, None])
    values = np.minimum(values, 65535 if wide else 255).astype(np.int64)
    values.astype('<u2' if wide else 'u1').tofile(out_path)


if __name__ == '__main__':
    main()
