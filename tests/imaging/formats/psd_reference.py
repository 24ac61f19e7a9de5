#!/usr/bin/python3
"""Prints what the reference readers read from a PSD file, one line each:
  magick HEX            ImageMagick's merged picture ('FILE[0]') as 8-bit RGBA, or "magick -"
                        when it cannot read it (it fails on its own indexed files)
  pillow W H HEX        Pillow's merged picture as RGBA, or "pillow -" when it cannot read it
                        (it fails on layers with a user mask)
  layer NAME X Y W H OPACITY VISIBLE HEX
                        each layer as psd-tools reads it (name in hex, "-" when empty; pixels
                        as RGBA, "-" for an empty layer); no layer lines when psd-tools fails
Usage: psd_reference.py FILE
"""
import subprocess
import sys

from PIL import Image
from psd_tools import PSDImage


def rgba(im):
    return im.convert('RGBA').tobytes().hex()


def main():
    path = sys.argv[1]
    magick = subprocess.run(['convert', path + '[0]', '-depth', '8', 'rgba:-'],
                            capture_output=True, check=False)
    print('magick', magick.stdout.hex() if magick.returncode == 0 else '-')
    try:
        im = Image.open(path)
        im.load()
        print('pillow', im.size[0], im.size[1], rgba(im))
    except Exception:
        print('pillow -')
    try:
        psd = PSDImage.open(path)
        for layer in psd.descendants():
            if layer.is_group():
                continue
            pixels = layer.topil() if layer.width > 0 and layer.height > 0 else None
            print('layer', layer.name.encode('latin-1').hex() or '-', layer.left, layer.top,
                  layer.width, layer.height, layer.opacity, int(layer.visible),
                  rgba(pixels) if pixels is not None else '-')
    except Exception:
        pass


if __name__ == '__main__':
    main()
