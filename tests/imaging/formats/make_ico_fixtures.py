#!/usr/bin/python3
"""Makes the icon and cursor fixtures in the folder argv[1] with icoutils, ImageMagick and Pillow.

Pictures of 16, 32, 48 and 256 pixels, with few enough colours for icotool to store them at 1, 4
and 8 bits (black and white for 1 bit), become icons of every depth, an icon with PNG entries
(--raw) and cursors with hot spots; ImageMagick adds an icon of its own (icon:auto-resize). Two
1-bit entries have other tables: two colours, and black with one colour (transparent corners).
Every entry is taken out again with "icotool -x" and kept as raw RGBA bytes. entries.txt lists
"icon index width height cursor hotx hoty rgba" for every entry, as "icotool -l" describes it.
"""
import glob
import os
import re
import subprocess
import sys

from PIL import Image

out = sys.argv[1]
os.chdir(out)


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def picture(size, colours, alpha, palette=None):
    """Diagonal stripes of the colours (the palette's when given); 'binary' alpha makes the
    corners transparent, 'gradient' runs from transparent on the left to opaque on the right,
    'opaque' has none."""
    if palette:
        colours = len(palette)
    elif colours == 2:
        palette = [(0, 0, 0), (255, 255, 255)]
    else:
        palette = [((i * 97) & 255, (i * 57) & 255, (i * 31 + 40) & 255) for i in range(colours)]
    im = Image.new('RGBA', (size, size))
    data = []
    for y in range(size):
        for x in range(size):
            edge = min(x, y, size - 1 - x, size - 1 - y)
            if alpha == 'gradient':
                a = (x * 255) // (size - 1)
            else:
                a = 0 if alpha == 'binary' and edge < size // 8 else 255
            data.append(palette[(x // 2 + y) % colours] + (a,))
    im.putdata(data)
    return im


kinds = {1: (2, 'binary'), 4: (15, 'binary'), 8: (255, 'binary'), 24: (5000, 'binary'),
         32: (5000, 'gradient')}
pngs = {}
for depth, (colours, alpha) in kinds.items():
    for size in (16, 32, 48, 256):
        name = 'src-%d-%d.png' % (depth, size)
        picture(size, min(colours, size * size // 2), alpha).save(name)
        pngs[depth, size] = name

picture(16, 2, 'opaque', [(20, 90, 200), (200, 30, 60)]).save('src-colours-16.png')
picture(32, 1, 'binary', [(0, 200, 0)]).save('src-green-32.png')

icons = {}
for depth in kinds:
    icons['depth-%d.ico' % depth] = ['--bit-depth=%d' % depth] + [
        pngs[depth, s] for s in (16, 32, 48)]
icons['colours-1.ico'] = ['--bit-depth=1', 'src-colours-16.png', 'src-green-32.png']
icons['depth-32-256.ico'] = [pngs[32, 16], pngs[32, 256]]
icons['png-entries.ico'] = ['--raw=' + pngs[32, 48], pngs[8, 16], '--raw=' + pngs[4, 32]]
icons['pointer-1.cur'] = ['--cursor', '--hotspot-x=5', '--hotspot-y=9', pngs[1, 32]]
icons['pointer-4.cur'] = ['--cursor', '--hotspot-x=0', '--hotspot-y=15', pngs[4, 16],
                          '--hotspot-x=31', '--hotspot-y=2', pngs[4, 32]]
icons['pointer-8.cur'] = ['--cursor', '--hotspot-x=40', '--hotspot-y=47', pngs[8, 48]]
for name, args in icons.items():
    run('icotool', '-c', '-o', name, *args)
run('convert', pngs[32, 256], '-define', 'icon:auto-resize=48,32,16', 'magick.ico')

with open('entries.txt', 'w') as listing:
    for name in sorted(icons) + ['magick.ico']:
        described = subprocess.run(['icotool', '-l', name], check=True, capture_output=True,
                                   text=True).stdout.split('\n')
        stem = name.replace('.', '_')
        os.mkdir(stem)
        run('icotool', '-x', '-o', stem, name)
        extracted = sorted(glob.glob(stem + '/*.png'),
                           key=lambda p: int(re.search(r'_(\d+)_\d+x\d+x\d+\.png$', p).group(1)))
        for line, png in zip([d for d in described if d], extracted):
            fields = dict(re.findall(r'--([a-z-]+)=(\d+)', line))
            with Image.open(png) as im:
                rgba = im.convert('RGBA')
            raw = png[:-4] + '.rgba'
            with open(raw, 'wb') as f:
                f.write(rgba.tobytes())
            listing.write('%s %d %d %d %d %s %s %s\n' % (
                name, int(fields['index']) - 1, rgba.size[0], rgba.size[1],
                int(line.startswith('--cursor')), fields.get('hotspot-x', '0'),
                fields.get('hotspot-y', '0'), raw))
