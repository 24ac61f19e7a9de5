#!/usr/bin/env python3
"""Writes the metafile fixtures of the metafile tests: each scene as a placeable WMF, a plain WMF
and an EMF, all three drawing the same picture in logical units of one pixel.

usage: make_metafiles.py OUTDIR  (writes SCENE.pwmf.wmf, SCENE.plain.wmf, SCENE.emf)

A scene is a list of operations; Writer.wmf / Writer.emf turn them into records."""
import os
import struct
import sys

RED, GREEN, BLUE, BLACK, WHITE, YELLOW = 0x0000FF, 0x00FF00, 0xFF0000, 0, 0xFFFFFF, 0x00FFFF
STAR_A = [(340, 20), (370, 110), (295, 55), (385, 55), (310, 110)]
STAR_W = [(440, 20), (470, 110), (395, 55), (485, 55), (410, 110)]


def dib24(pixels):
    """A bottom-up 24-bit DIB (header + rows) of rows of (r, g, b), top row first."""
    h, w = len(pixels), len(pixels[0])
    stride = (w * 3 + 3) & ~3
    rows = b''
    for row in reversed(pixels):
        line = b''.join(bytes([b, g, r]) for (r, g, b) in row)
        rows += line + bytes(stride - len(line))
    header = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(rows), 0, 0, 0, 0)
    return header, rows


def dib8(indexes, palette):
    h, w = len(indexes), len(indexes[0])
    stride = (w + 3) & ~3
    rows = b''.join(bytes(row) + bytes(stride - w) for row in reversed(indexes))
    header = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(rows), 0, 0, len(palette), 0)
    table = b''.join(bytes([b, g, r, 0]) for (r, g, b) in palette)
    return header + table, rows


QUADS = [[(255, 0, 0), (0, 255, 0)], [(0, 0, 255), (255, 255, 0)]]


def extent(w, h):
    """Empty rectangles in the corners (0, 0) and (w, h) of the picture's logical box. They paint
    nothing, but a renderer that frames the drawing's bounding box rather than the picture's box
    (wmf2gd) then frames the whole picture, as the importer does."""
    return [('pen', 5, 0, BLACK), ('brush', 1, 0, 0),
            ('rect', 0, 0, 1, 1), ('rect', w - 1, h - 1, w, h)]


# Scenes (natural size, operations).
SCENES = {
    # Filled and outlined shapes, both fill modes, dashed and wide pens, a hatch, two DIBs,
    # clipping inside nested saved states and one text line.
    'shapes': ((600, 400), [
        ('pen', 0, 1, BLACK), ('brush', 0, RED, 0), ('rect', 20, 20, 120, 100),
        ('pen', 5, 0, BLACK), ('brush', 0, BLUE, 0), ('ellipse', 150, 20, 270, 100),
        ('brush', 0, GREEN, 0), ('fillmode', 1), ('polygon', STAR_A),
        ('fillmode', 2), ('polygon', STAR_W),
        ('pen', 0, 1, BLACK), ('brush', 0, YELLOW, 0), ('roundrect', 500, 20, 580, 100, 20, 20),
        ('pen', 1, 1, BLUE), ('polyline', [(20, 130), (580, 130)]),
        ('pen', 0, 9, RED), ('polyline', [(20, 160), (580, 160)]),
        ('pen', 5, 0, BLACK), ('bkmode', 1), ('brush', 2, BLUE, 4), ('rect', 20, 190, 120, 290),
        ('dib24', 150, 190, 80, 80, QUADS),
        ('dib8', 250, 190, 80, 80),
        ('savedc',), ('intersectclip', 350, 190, 450, 290),
        ('savedc',), ('excludeclip', 380, 220, 420, 260),
        ('brush', 0, GREEN, 0), ('rect', 300, 170, 500, 310),
        ('restoredc', -1), ('restoredc', -1),
        ('brush', 0, BLUE, 0), ('rect', 470, 190, 520, 240),
        ('polypolygon', [[(20, 320), (120, 320), (120, 390), (20, 390)],
                         [(40, 335), (40, 375), (100, 375), (100, 335)]]),
        ('textcolor', BLACK), ('bkmode', 1), ('text', 150, 330, 'Metafile'),
    ]),
    # A wider window over the same device: every logical unit is half a pixel.
    'anisotropic': ((200, 100), [
        ('mapmode', 8), ('windoworg', 0, 0), ('windowext', 400, 200), ('viewportext', 200, 100),
        *extent(400, 200), ('pen', 5, 0, BLACK), ('brush', 0, RED, 0), ('rect', 40, 40, 200, 120),
    ]),
    # Tenths of a millimetre with y growing upwards, at 96 dots per inch.
    'lometric': ((200, 100), [
        ('mapmode', 2), ('pen', 5, 0, BLACK), ('brush', 0, BLUE, 0),
        ('rect', 127, -127, 381, -254),
    ]),
    # What another WMF renderer draws alike: outlined and hollow shapes, a wide line, a hole.
    'reference': ((300, 200), [
        *extent(300, 200), ('pen', 0, 1, BLACK), ('brush', 0, RED, 0), ('rect', 10, 10, 110, 90),
        ('brush', 0, YELLOW, 0), ('roundrect', 130, 10, 230, 90, 30, 30),
        ('pen', 0, 7, BLUE), ('polyline', [(10, 110), (290, 110)]),
        ('pen', 5, 0, BLACK), ('brush', 0, GREEN, 0),
        ('polypolygon', [[(10, 130), (110, 130), (110, 190), (10, 190)],
                         [(30, 145), (30, 175), (90, 175), (90, 145)]]),
        ('pen', 0, 3, RED), ('brush', 1, 0, 0), ('rect', 130, 130, 290, 190),
    ]),
    # A 400 x 100 picture: the aspect-ratio rules of the import.
    'wide': ((400, 100), [
        *extent(400, 100), ('pen', 5, 0, BLACK), ('brush', 0, RED, 0), ('rect', 0, 0, 200, 100),
    ]),
}


class Wmf:
    def __init__(self):
        self.records = []
        self.used = set()
        self.slots = {}

    def rec(self, function, params=b''):
        if len(params) % 2:
            params += b'\0'
        self.records.append(struct.pack('<IH', 3 + len(params) // 2, function) + params)

    def words(self, *values):
        return struct.pack('<%dh' % len(values), *values)

    def create_select(self, kind, function, params):
        # A new object takes the lowest free slot; the one it replaces is deleted after it is
        # selected.
        self.rec(function, params)
        slot = min(i for i in range(8) if i not in self.used)
        self.used.add(slot)
        self.rec(0x012D, struct.pack('<H', slot))
        if kind in self.slots:
            self.rec(0x01F0, struct.pack('<H', self.slots[kind]))
            self.used.discard(self.slots[kind])
        self.slots[kind] = slot

    def op(self, o):
        k = o[0]
        w = self.words
        if k == 'pen':
            self.create_select('pen', 0x02FA, struct.pack('<HhhI', o[1], o[2], 0, o[3]))
        elif k == 'brush':
            self.create_select('brush', 0x02FC, struct.pack('<HIH', o[1], o[2], o[3]))
        elif k == 'rect':
            self.rec(0x041B, w(o[4], o[3], o[2], o[1]))
        elif k == 'ellipse':
            self.rec(0x0418, w(o[4], o[3], o[2], o[1]))
        elif k == 'roundrect':
            self.rec(0x061C, w(o[6], o[5], o[4], o[3], o[2], o[1]))
        elif k in ('polygon', 'polyline'):
            pts = o[1]
            self.rec(0x0324 if k == 'polygon' else 0x0325,
                     w(len(pts)) + b''.join(w(x, y) for x, y in pts))
        elif k == 'polypolygon':
            rings = o[1]
            self.rec(0x0538, w(len(rings)) + b''.join(w(len(r)) for r in rings) +
                     b''.join(w(x, y) for r in rings for x, y in r))
        elif k == 'fillmode':
            self.rec(0x0106, w(o[1]))
        elif k == 'bkmode':
            self.rec(0x0102, w(o[1]))
        elif k == 'textcolor':
            self.rec(0x0209, struct.pack('<I', o[1]))
        elif k == 'mapmode':
            self.rec(0x0103, w(o[1]))
        elif k == 'windoworg':
            self.rec(0x020B, w(o[2], o[1]))
        elif k == 'windowext':
            self.rec(0x020C, w(o[2], o[1]))
        elif k == 'viewportext':
            self.rec(0x020E, w(o[2], o[1]))
        elif k == 'savedc':
            self.rec(0x001E)
        elif k == 'restoredc':
            self.rec(0x0127, w(o[1]))
        elif k == 'intersectclip':
            self.rec(0x0416, w(o[4], o[3], o[2], o[1]))
        elif k == 'excludeclip':
            self.rec(0x0415, w(o[4], o[3], o[2], o[1]))
        elif k == 'text':
            s = o[3].encode('latin-1')
            self.rec(0x0521, w(len(s)) + s + (b'\0' if len(s) % 2 else b'') + w(o[2], o[1]))
        elif k == 'dib24':
            x, y, cx, cy, pixels = o[1:]
            header, rows = dib24(pixels)
            src_h, src_w = len(pixels), len(pixels[0])
            # StretchDIB: rop, usage, source h, w, y, x, destination h, w, y, x, DIB
            self.rec(0x0F43, struct.pack('<I', 0x00CC0020) + w(0, src_h, src_w, 0, 0, cy, cx, y, x)
                     + header + rows)
        elif k == 'dib8':
            x, y, cx, cy = o[1:]
            info, rows = dib8([[0, 1], [2, 3]], [(255, 0, 255), (0, 255, 255), (0, 0, 0),
                                                 (255, 255, 255)])
            # DIBStretchBlt: rop, source h, w, y, x, destination h, w, y, x, DIB
            self.rec(0x0B41, struct.pack('<I', 0x00CC0020) + w(2, 2, 0, 0, cy, cx, y, x) + info + rows)
        else:
            raise ValueError(k)

    def data(self, ops, size, placeable):
        for o in ops:
            self.op(o)
        self.records.append(struct.pack('<IH', 3, 0))
        body = b''.join(self.records)
        header = struct.pack('<HHHIHIH', 1, 9, 0x0300, (18 + len(body)) // 2, 8,
                             max(len(r) for r in self.records) // 2, 0)
        out = header + body
        if placeable:
            w, h = size
            words = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, w, h, 96, 0)
            check = 0
            for i in range(0, 20, 2):
                check ^= struct.unpack_from('<H', words, i)[0]
            out = words + struct.pack('<H', check) + out
        return out


class Emf:
    def __init__(self):
        self.records = []
        self.handle = 1
        self.current = {}

    def rec(self, kind, params=b''):
        while len(params) % 4:
            params += b'\0'
        self.records.append(struct.pack('<II', kind, 8 + len(params)) + params)

    def create_select(self, kind, rtype, params):
        h = self.handle
        self.handle += 1
        self.rec(rtype, struct.pack('<I', h) + params)
        self.rec(37, struct.pack('<I', h))
        if kind in self.current:
            self.rec(40, struct.pack('<I', self.current[kind]))
        self.current[kind] = h

    def op(self, o):
        k = o[0]
        bounds = struct.pack('<4i', 0, 0, -1, -1)
        i = lambda *v: struct.pack('<%di' % len(v), *v)
        if k == 'pen':
            self.create_select('pen', 38, struct.pack('<IiiI', o[1], o[2], 0, o[3]))
        elif k == 'brush':
            self.create_select('brush', 39, struct.pack('<III', o[1], o[2], o[3]))
        elif k == 'rect':
            self.rec(43, i(*o[1:5]))
        elif k == 'ellipse':
            self.rec(42, i(*o[1:5]))
        elif k == 'roundrect':
            self.rec(44, i(*o[1:7]))
        elif k == 'polygon':  # the 16-bit form
            pts = o[1]
            self.rec(86, bounds + i(len(pts)) + b''.join(struct.pack('<hh', x, y) for x, y in pts))
        elif k == 'polyline':  # the 32-bit form
            pts = o[1]
            self.rec(4, bounds + i(len(pts)) + b''.join(i(x, y) for x, y in pts))
        elif k == 'polypolygon':
            rings = o[1]
            self.rec(8, bounds + i(len(rings), sum(len(r) for r in rings)) +
                     b''.join(i(len(r)) for r in rings) + b''.join(i(x, y) for r in rings for x, y in r))
        elif k == 'fillmode':
            self.rec(19, i(o[1]))
        elif k == 'bkmode':
            self.rec(18, i(o[1]))
        elif k == 'textcolor':
            self.rec(24, i(o[1]))
        elif k == 'mapmode':
            self.rec(17, i(o[1]))
        elif k == 'windoworg':
            self.rec(10, i(o[1], o[2]))
        elif k == 'windowext':
            self.rec(9, i(o[1], o[2]))
        elif k == 'viewportext':
            self.rec(11, i(o[1], o[2]))
        elif k == 'savedc':
            self.rec(33)
        elif k == 'restoredc':
            self.rec(34, i(o[1]))
        elif k == 'intersectclip':
            self.rec(30, i(*o[1:5]))
        elif k == 'excludeclip':
            self.rec(29, i(*o[1:5]))
        elif k == 'text':
            s = o[3].encode('utf-16-le')
            n = len(o[3])
            # EMRTEXT after bounds, graphics mode, scales; the string right after it.
            off_string = 8 + 16 + 12 + 40
            text = i(o[1], o[2], n, off_string, 0, 0, 0, -1, -1, 0)
            self.rec(84, bounds + i(1) + struct.pack('<ff', 1.0, 1.0) + text + s)
        elif k in ('dib24', 'dib8'):
            x, y, cx, cy = o[1:5]
            if k == 'dib24':
                header, rows = dib24(o[5])
                sw, sh = len(o[5][0]), len(o[5])
            else:
                header, rows = dib8([[0, 1], [2, 3]], [(255, 0, 255), (0, 255, 255), (0, 0, 0),
                                                       (255, 255, 255)])
                sw, sh = 2, 2
            off_bmi = 80
            off_bits = off_bmi + len(header)
            self.rec(81, bounds + i(x, y, 0, 0, sw, sh, off_bmi, len(header), off_bits, len(rows),
                                    0, 0x00CC0020, cx, cy) + header + rows)
        else:
            raise ValueError(k)

    def data(self, ops, size):
        for o in ops:
            self.op(o)
        self.rec(14, struct.pack('<III', 0, 16, 20))
        w, h = size
        frame = (0, 0, round(w * 2540 / 96), round(h * 2540 / 96))
        body = b''.join(self.records)
        header_size = 108
        header = struct.pack('<II4i4iIIIIHHIIIiiii', 1, header_size, 0, 0, w - 1, h - 1, *frame,
                             0x464D4520, 0x10000, header_size + len(body), len(self.records) + 1,
                             self.handle, 0, 0, 0, 0, 960, 960, 254, 254)
        header += struct.pack('<III', 0, 0, 0)
        header += bytes(header_size - len(header))
        return header + body


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (size, ops) in SCENES.items():
        plain = [('windoworg', 0, 0), ('windowext', size[0], size[1])] + ops
        with open(os.path.join(out, name + '.pwmf.wmf'), 'wb') as f:
            f.write(Wmf().data(ops, size, True))
        with open(os.path.join(out, name + '.plain.wmf'), 'wb') as f:
            f.write(Wmf().data(plain, size, False))
        with open(os.path.join(out, name + '.emf'), 'wb') as f:
            f.write(Emf().data(ops, size))


if __name__ == '__main__':
    main()
