#!/usr/bin/python3
"""Makes the PCX, DCX and Targa fixtures in the folder argv[1] with netpbm, ImageMagick and Pillow.

Each fixture comes with its reference reading: NAME.rgba holds the width and the height (32-bit
little-endian) and then red, green, blue and alpha of every pixel, rows from the top, as pcxtoppm,
tgatoppm, ImageMagick or Pillow read the file. fixtures.txt lists one fixture a line:
"FILE PAGE KIND" where PAGE is the DCX page (-1 for a plain file) and KIND is "exact", "rgb5"
(16-bit colour: only the top 5 bits of each channel count) or "refused" (the reader must set its
abort flag; no reference).
"""
import os
import struct
import subprocess
import sys

from PIL import Image

out = sys.argv[1]
os.chdir(out)
listing = []


def run(*args, stdout=None):
    subprocess.run(args, check=True, stdout=stdout, stderr=subprocess.DEVNULL)


def save_reference(name, image):
    rgba = image.convert('RGBA')
    with open(name + '.rgba', 'wb') as f:
        f.write(struct.pack('<II', *rgba.size) + rgba.tobytes())


def ppm_reference(name, command):
    """The PPM a tool writes on its standard output, as the reference of NAME."""
    with open(name + '.ref.ppm', 'wb') as f:
        run(*command, stdout=f)
    save_reference(name, Image.open(name + '.ref.ppm'))


def add(name, page=-1, kind='exact'):
    listing.append('%s %d %s' % (name, page, kind))


def piped(name, command, source):
    with open(name, 'wb') as f:
        run(*command, source, stdout=f)


# The pictures: a plasma of odd width, reduced to 256, 16 and 2 colours.
run('convert', '-size', '37x23', '-seed', '7', 'plasma:fractal', '-depth', '8', 'ppm:picture.ppm')
run('convert', 'picture.ppm', '+dither', '-colors', '256', 'ppm:colours256.ppm')
run('convert', 'picture.ppm', '+dither', '-colors', '16', 'ppm:colours16.ppm')
run('convert', 'picture.ppm', '+dither', '-colors', '8', 'ppm:colours8.ppm')
run('convert', 'picture.ppm', '+dither', '-colors', '4', 'ppm:colours4.ppm')
run('convert', 'picture.ppm', '-threshold', '50%', 'ppm:colours2.ppm')

# ---- PCX and DCX ----
for name, args, source, kind in [
    ('netpbm-8bit.pcx', ['-8bit'], 'colours256.ppm', 'exact'),
    ('netpbm-24bit.pcx', ['-24bit'], 'picture.ppm', 'exact'),
    ('netpbm-planes1.pcx', ['-planes', '1'], 'colours2.ppm', 'exact'),
    ('netpbm-planes2.pcx', ['-planes', '2'], 'colours4.ppm', 'refused'),
    ('netpbm-planes3.pcx', ['-planes', '3'], 'colours8.ppm', 'refused'),
    ('netpbm-planes4.pcx', ['-planes', '4'], 'colours16.ppm', 'exact'),
    ('netpbm-packed16.pcx', ['-packed'], 'colours16.ppm', 'exact'),
    ('netpbm-packed4.pcx', ['-packed'], 'colours4.ppm', 'refused'),
    ('netpbm-packed2.pcx', ['-packed'], 'colours2.ppm', 'exact'),
]:
    piped(name, ['ppmtopcx', *args], source)
    if kind != 'refused':
        ppm_reference(name, ['pcxtoppm', name])
    add(name, -1, kind)

for name, args in [('im-rgb.pcx', []), ('im-palette.pcx', ['-type', 'Palette']),
                   ('im-bilevel.pcx', ['-type', 'Bilevel'])]:
    run('convert', 'picture.ppm', *args, 'pcx:' + name)
    ppm_reference(name, ['convert', name, 'ppm:-'])
    add(name)

run('convert', 'picture.ppm', 'colours256.ppm', '-type', 'Palette', 'picture.ppm', 'dcx:pages.dcx')
for page in range(3):
    name = 'pages.dcx-%d' % page
    ppm_reference(name, ['convert', 'pages.dcx[%d]' % page, 'ppm:-'])
    add('pages.dcx', page)

# ---- Targa ----
for name, args in [('im.tga', []), ('im-rle.tga', ['-compress', 'RLE']),
                   ('im-top.tga', ['-orient', 'TopLeft']),
                   ('im-top-rle.tga', ['-orient', 'TopLeft', '-compress', 'RLE'])]:
    run('convert', 'picture.ppm', *args, 'tga:' + name)
    ppm_reference(name, ['tgatoppm', name])
    add(name)

for name, args, source in [('netpbm-mono.tga', ['-mono'], 'picture.ppm'),
                           ('netpbm-cmap.tga', ['-cmap'], 'colours256.ppm'),
                           ('netpbm-rgb.tga', ['-rgb', '-norle'], 'picture.ppm'),
                           ('netpbm-rgb-rle.tga', ['-rgb'], 'picture.ppm'),
                           ('netpbm-cmap-raw.tga', ['-cmap', '-norle'], 'colours256.ppm'),
                           ('netpbm-cmap16.tga', ['-cmap16'], 'colours256.ppm')]:
    if name == 'netpbm-mono.tga':
        run('convert', source, '-colorspace', 'Gray', 'pgm:grey.pgm')
        source = 'grey.pgm'
    piped(name, ['ppmtotga', *args], source)
    ppm_reference(name, ['tgatoppm', name])
    add(name, -1, 'rgb5' if name == 'netpbm-cmap16.tga' else 'exact')

picture = Image.open('picture.ppm')
alpha = Image.linear_gradient('L').transpose(Image.Transpose.ROTATE_90).resize(picture.size)
rgba = picture.copy()
rgba.putalpha(alpha)
pillow = {'L': picture.convert('L'), 'LA': rgba.convert('LA'),
          'P': picture.quantize(200), 'RGB': picture, 'RGBA': rgba}
for mode, image in pillow.items():
    for rle in (False, True):
        for orientation in (1, -1):
            name = 'pillow-%s-%s-%s.tga' % (mode, 'rle' if rle else 'raw',
                                            'top' if orientation > 0 else 'bottom')
            image.save(name, rle=rle, orientation=orientation)
            save_reference(name, Image.open(name))
            add(name)

with open('fixtures.txt', 'w') as f:
    f.write('\n'.join(listing) + '\n')
