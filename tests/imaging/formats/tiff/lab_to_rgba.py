"""Prints the RGBA bytes of an uncompressed single-strip 8-bit CIELab TIFF (ImageMagick's
layout: the strip at offset 8) converted by the CIE formulas: L scaled from 0..255, a and b
signed, D65 white, the sRGB matrix and companding."""
import sys

def finv(t):
    return t ** 3 if t > 6 / 29 else 3 * (6 / 29) ** 2 * (t - 4 / 29)

def srgb(v):
    v = 12.92 * v if v <= 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055
    return max(0, min(255, round(v * 255)))

path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = open(path, 'rb').read()[8:8 + width * height * 3]
out = bytearray()
for i in range(0, len(data), 3):
    l = data[i] * 100 / 255
    a = data[i + 1] - 256 if data[i + 1] > 127 else data[i + 1]
    b = data[i + 2] - 256 if data[i + 2] > 127 else data[i + 2]
    fy = (l + 16) / 116
    x, y, z = finv(fy + a / 500) * 0.95047, finv(fy), finv(fy - b / 200) * 1.08883
    out += bytes([srgb(3.2406 * x - 1.5372 * y - 0.4986 * z),
                  srgb(-0.9689 * x + 1.8758 * y + 0.0415 * z),
                  srgb(0.0557 * x - 0.2040 * y + 1.0570 * z), 255])
sys.stdout.buffer.write(out)
