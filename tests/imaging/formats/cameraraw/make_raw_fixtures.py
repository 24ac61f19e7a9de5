#!/usr/bin/python3
"""Packs known mosaics in the raw data layouts of the camera-raw loaders, with short encoders of
its own for the coded ones, and writes what each loader must store.

Usage: make_raw_fixtures.py OUTDIR

OUTDIR/cases.txt has one line per case:
  name loader width height rawwidth rawheight top left filters make model order dataoffset
  curveoffset crwtable black
(make and model "-" for empty, black -1 when the loader leaves the black level alone). For each
case OUTDIR/name.raw is the stream and OUTDIR/name.expect the samples the loader must store, one
little-endian 16-bit value per image cell (row after row; the sample of the cell's filter colour,
0 where nothing is stored).
"""
import os
import struct
import sys

BAYER = 0x94949494


def fc(filters, row, col):
    return (filters >> ((((row << 1) & 14) + (col & 1)) << 1)) & 3


def mosaic(rows, cols, bits, seed=0):
    """A smooth pattern with some texture, values below 2**bits."""
    top = (1 << bits) - 1
    return [[(r * 37 + c * 11 + ((r * c + seed) % 13) * 5 + seed * 7) % (top + 1) for c in range(cols)]
            for r in range(rows)]


class Bits:
    """Most significant bit first."""

    def __init__(self, stuff=False):
        self.out = bytearray()
        self.acc = 0
        self.n = 0
        self.stuff = stuff

    def put(self, value, count):
        for i in range(count - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.stuff and self.acc == 0xFF:
                    self.out.append(0)
                self.acc = 0
                self.n = 0

    def done(self, pad=8):
        while self.n:
            self.put(0, 1)
        return bytes(self.out) + bytes(pad)


def magnitude(d):
    """JPEG category and bits of a difference."""
    n = abs(d).bit_length()
    return n, (d if d >= 0 else d + (1 << n) - 1)


def canonical_codes(counts, values):
    """Codes of a table of 16 counts and values, as the decoder's tree assigns them."""
    codes = {}
    code = 0
    k = 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            v = values[k] if k < len(values) else 0
            codes.setdefault(v, (code, length))
            code += 1
            k += 1
        code <<= 1
    return codes


class Case:
    def __init__(self, name, loader, width, height, rawwidth=0, rawheight=0, top=0, left=0,
                 filters=BAYER, make='-', model='-', order=0x4949, dataoffset=0, curveoffset=0,
                 crwtable=0):
        self.__dict__.update(locals())
        del self.__dict__['self']
        self.rawwidth = rawwidth or width
        self.rawheight = rawheight or height
        self.expect = [[0] * width for _ in range(height)]
        self.expect_rgb = {}
        self.black = -1

    def store(self, row, col, v):
        if 0 <= row < self.height and 0 <= col < self.width:
            self.expect[row][col] = v & 0xFFFF

    def write_rgb(self, out, data):
        """For sensors without a filter pattern: three samples a cell."""
        self.expect = [[0] * (self.width * 3) for _ in range(self.height)]
        for (r, col, sample), v in self.expect_rgb.items():
            self.expect[r][col * 3 + sample] = v
        self.write(out, data)

    def write(self, out, data):
        with open(os.path.join(out, self.name + '.raw'), 'wb') as f:
            f.write(data)
        with open(os.path.join(out, self.name + '.expect'), 'wb') as f:
            for row in self.expect:
                f.write(struct.pack('<%dH' % len(row), *row))
        with open(os.path.join(out, 'cases.txt'), 'a') as f:
            f.write(' '.join(str(x) for x in (
                self.name, self.loader, self.width, self.height, self.rawwidth, self.rawheight,
                self.top, self.left, self.filters, self.make, self.model, self.order,
                self.dataoffset, self.curveoffset, self.crwtable, self.black)) + '\n')


def unpacked(out):
    for name, order, rsh in (('unpacked16_be_load_raw', 0x55AA, 0),
                             ('unpacked_high12_be_load_raw', 0x55AA, 2),
                             ('unpacked_low12_be_load_raw', 0x55AA, -2),
                             ('unpacked_low10_be_load_raw', 0x55AA, -4),
                             ('unpacked_high12_le_load_raw', 0xAA55, 2)):
        c = Case(name, name, 12, 6, rawwidth=14, dataoffset=64)
        m = mosaic(6, 14, 16, rsh + 5)
        data = bytearray(64)
        for r in range(6):
            for col in range(14):
                data += struct.pack('>H' if order == 0x55AA else '<H', m[r][col])
                c.store(r, col, (m[r][col] >> rsh) if rsh >= 0 else (m[r][col] << -rsh))
        c.write(out, data)


def eight_bit(out):
    c = Case('eight_bit', 'eight_bit_load_raw', 10, 5, rawwidth=13)
    m = mosaic(5, 13, 8)
    for r in range(5):
        for col in range(10):
            c.store(r, col, m[r][col] << 6)
    c.write(out, bytes(v for row in m for v in row))


def packed12(out):
    c = Case('packed12_bits', 'packed12_bits_load_raw', 10, 5, rawwidth=18)
    m = mosaic(5, 10, 12)
    b = Bits()
    for r in range(5):
        for col in range(10):
            b.put(m[r][col], 12)
            c.store(r, col, m[r][col] << 2)
        b.put(0xABC, 12)
        b.put(0xDEF, 12)
    c.write(out, b.done())


def nikon_e950(out):
    c = Case('nikon_e950', 'nikon_e950_packed_load_raw', 8, 6)
    m = mosaic(6, 8, 10)
    b = Bits()
    for irow in range(6):
        for col in range(8):
            b.put(m[irow][col], 10)
            c.store(irow * 2 % 6, col, m[irow][col] << 4)
        for _ in range(28):
            b.put(0x5A, 8)
    c.write(out, b.done())


def nikon_packed(out):
    c = Case('nikon_packed', 'nikon_packed_load_raw', 9, 4, rawwidth=12, left=2)
    m = mosaic(4, 12, 12)
    b = Bits()
    for r in range(4):
        for col in range(12):
            b.put(m[r][col], 12)
            c.store(r, col - 2, m[r][col] << 2)
    c.write(out, b.done())


def e2100(out):
    c = Case('nikon_e2100', 'nikon_e2100_packed_load_raw', 16, 6)
    m = mosaic(6, 16, 12)
    rows = {}
    for r in range(6):
        row = bytearray()
        for g in range(0, 16, 8):
            v = m[r][g:g + 8]
            b = [0] * 12
            b[3] = v[0] >> 4
            b[2] = ((v[0] & 15) << 4) | (v[1] >> 8)
            b[1] = v[1] & 255
            b[0] = v[2] >> 4
            b[7] = ((v[2] & 15) << 4) | (v[3] >> 8)
            b[6] = v[3] & 255
            b[5] = v[4] >> 4
            b[4] = ((v[4] & 15) << 4) | (v[5] >> 8)
            b[11] = v[5] & 255
            b[10] = v[6] >> 4
            b[9] = ((v[6] & 15) << 4) | (v[7] >> 8)
            b[8] = v[7] & 255
            row += bytes(b)
        rows[r] = bytes(row)
        for col in range(16):
            c.store(r, col, m[r][col] << 2)
    data = rows[0] + rows[2] + rows[4] + bytes([0x77]) * 424 + rows[1] + rows[3] + rows[5]
    c.write(out, data)


def qv5700(out):
    c = Case('qv5700', 'qv5700_load_raw', 20, 3)
    m = mosaic(3, 2576, 10)
    data = bytearray()
    for r in range(3):
        b = Bits()
        for col in range(2576):
            b.put(m[r][col], 10)
        data += b.done(0) + bytes(12)
        for col in range(20):
            c.store(r, col, m[r][col] << 4)
    c.write(out, data)


def powershot600(out):
    c = Case('powershot600', 'powershot600_load_raw', 880, 5)
    m = mosaic(5, 896, 10)
    data = bytearray()
    black = 0
    row = 0
    for irow in range(5):
        for g in range(0, 896, 8):
            v = m[irow][g:g + 8]
            d = [v[0] >> 2, (v[0] & 3) << 6 | (v[1] & 3) << 4 | (v[2] & 3) << 2 | (v[3] & 3),
                 v[1] >> 2, v[2] >> 2, v[3] >> 2, v[4] >> 2, v[5] >> 2, v[6] >> 2, v[7] >> 2,
                 (v[4] & 3) | (v[5] & 3) << 2 | (v[6] & 3) << 4 | (v[7] & 3) << 6]
            data += bytes(d)
        for col in range(880):
            c.store(row, col, m[irow][col] << 4)
        black += sum(m[irow][880:896])
        row += 2
        if row >= 5:
            row = 1
    c.black = black * 16 // (16 * 5)
    c.write(out, data)


def powershot_a5(out):
    c = Case('powershot_a5', 'powershot_a5_load_raw', 12, 4, rawwidth=16)
    m = mosaic(4, 16, 10)
    data = bytearray()
    black = 0
    for r in range(4):
        for g in range(0, 16, 8):
            v = m[r][g:g + 8]
            d = [0] * 10
            d[0] = ((v[0] & 3) << 6) | (v[1] >> 4)
            d[1] = v[0] >> 2
            d[2] = ((v[2] & 63) << 2) | (v[3] >> 8)
            d[3] = ((v[1] & 15) << 4) | (v[2] >> 6)
            d[5] = v[3] & 255
            d[7] = ((v[4] & 3) << 6) | (v[5] >> 4)
            d[4] = v[4] >> 2
            d[9] = ((v[6] & 63) << 2) | (v[7] >> 8)
            d[6] = ((v[5] & 15) << 4) | (v[6] >> 6)
            d[8] = v[7] & 255
            data += bytes(d)
        for col in range(12):
            c.store(r, col, m[r][col] << 4)
        black += sum(m[r][12:16])
    c.black = black * 16 // (4 * 4)
    c.write(out, data)


def nucore(out):
    c = Case('nucore', 'nucore_load_raw', 6, 4, model='B2598')
    m = mosaic(4, 6, 14)
    data = bytearray()
    for r in range(4):
        for col in range(6):
            data += bytes([m[r][col] & 255, m[r][col] >> 8])
            c.store(r, col, (m[r][col] & 255) * 4 + (m[r][col] >> 8) * 1024)
    c.write(out, data)


def imacon(out):
    c = Case('imacon', 'imacon_load_raw', 7, 3)
    m = mosaic(3, 4090, 16)
    data = bytearray(49384)
    for i in range(3):
        row = 2 - i
        data += struct.pack('<4090H', *m[i])
        for col in range(7):
            c.store(row, col, m[i][6 - col])
    c.write(out, data)


def phaseone(out):
    c = Case('phaseone', 'phaseone_scrambled_load_raw', 6, 3, rawwidth=10, rawheight=5, top=1,
             left=2, dataoffset=16)
    m = mosaic(5, 10, 16)
    akey, bkey = 0x1234, 0xA5C3
    body = bytearray()
    for r in range(5):
        for col in range(0, 10, 2):
            o0, o1 = m[r][col], m[r][col + 1]
            a = (o1 & 0xAAAA) | (o0 & 0x5555)
            b = (o0 & 0xAAAA) | (o1 & 0x5555)
            body += struct.pack('>HH', a ^ akey, b ^ bkey)
    for r in range(3):
        for col in range(6):
            c.store(r, col, m[r + 1][col + 2])
    skip = len(body)
    data = bytearray(24) + struct.pack('<I', skip) + body + bytes(296) + \
        struct.pack('<HH', akey, bkey)
    c.write(out, data)


def olympus(out):
    c = Case('olympus', 'olympus_c_interlaced_load_raw', 8, 6, dataoffset=32)
    m = mosaic(6, 8, 12)
    second = (3 * 8 * 6 // 4 + 2047) // 2048 * 2048
    fields = [Bits(), Bits()]
    for irow in range(6):
        row = irow * 2 % 6 + irow // 3
        for col in range(8):
            fields[0 if irow < 3 else 1].put(m[row][col], 12)
            c.store(row, col, m[row][col] << 2)
    first = bytes(32) + fields[0].done()
    data = first + bytes(32 + second - len(first)) + fields[1].done()
    c.write(out, data)


def dc120(out):
    c = Case('dc120', 'dc120_load_raw', 40, 5)
    m = mosaic(5, 40, 8)
    data = bytearray()
    for row in range(5):
        s = row * (162, 192, 187, 92)[row & 3] + (0, 636, 424, 212)[row & 3]
        line = bytearray((i * 5 + row) & 255 for i in range(848))
        for col in range(40):
            line[(col + s) % 848] = m[row][col]
            c.store(row, col, m[row][col] << 6)
        data += line
    c.write(out, data)


def kodak_easy(out):
    curve = [(i * 3 + 5) for i in range(256)]
    c = Case('kodak_easy', 'kodak_easy_load_raw', 8, 4, rawwidth=11, left=1, make='KODAK',
             dataoffset=1024, curveoffset=1)
    header = bytearray(12) + struct.pack('<HHHII', 1, 0x90D, 3, 256, 512)
    header += bytes(512 - len(header)) + struct.pack('<256H', *curve)
    header += bytes(1024 - len(header))
    m = mosaic(4, 11, 8)
    black = 0
    for r in range(4):
        for col in range(11):
            ic = col - 1
            v = curve[m[r][col]]
            if 0 <= ic < 8:
                c.store(r, ic, v << 2)
            else:
                black += v
    c.black = black * 4 // (3 * 4)
    c.write(out, header + bytes(v for row in m for v in row))


def canon(out, lowbits):
    name = 'canon_lowbits' if lowbits else 'canon'
    table = 1 if lowbits else 0
    rw, rh = (64, 40) if lowbits else (24, 16)
    c = Case(name, 'canon_compressed_load_raw', rw - 5, rh - 3, rawwidth=rw, rawheight=rh, top=2,
             left=3, crwtable=table)
    full = mosaic(rh, rw, 12 if lowbits else 10, 3)
    if lowbits:
        # Low-bit byte 574 (file position 600) all ones, the next one not 0: the file says it
        # carries low bits.
        for col in range(56, 61):
            full[35][col] |= 3
    high = [[v >> 2 for v in row] for row in full] if lowbits else full
    first = FIRST[table]
    second = SECOND[table]
    c1 = canonical_codes(first[:16], first[16:])
    c2 = canonical_codes(second[:16], second[16:])
    bits = Bits(stuff=True)
    carry = 0
    base = [0, 0]
    pnum = 0
    for row in range(0, rh, 8):
        flat = [v for r in range(8) for v in high[row + r]]
        for blk in range(0, len(flat), 64):
            d = []
            for j in range(64):
                if pnum % rw == 0:
                    base = [512, 512]
                pnum += 1
                d.append(flat[blk + j] - base[j & 1])
                base[j & 1] = flat[blk + j]
            e = list(d)
            e[0] = d[0] - carry
            carry = d[0]
            n, v = magnitude(e[0])
            code, length = c1[n]
            bits.put(code, length)
            bits.put(v, n)
            i = 1
            while i < 64:
                j = i
                while j < 64 and e[j] == 0:
                    j += 1
                if j == 64:
                    code, length = c2[0]
                    bits.put(code, length)
                    break
                run = j - i
                while run > 15:
                    code, length = c2[0xF0]
                    bits.put(code, length)
                    run -= 16
                    i += 16
                n, v = magnitude(e[j])
                code, length = c2[(run << 4) | n]
                bits.put(code, length)
                bits.put(v, n)
                i = j + 1
    coded = bits.done(0) + bytes(8)
    shift = 4 - 2 * lowbits
    if lowbits:
        low = bytearray()
        for row in range(0, rh, 8):
            flat = [v for r in range(8) for v in full[row + r]]
            for p in range(0, len(flat), 4):
                low.append(sum((flat[p + r] & 3) << (2 * r) for r in range(4)))
        data = bytearray(26) + low
        data += bytes(540 + rh * rw // 4 - len(data))
        assert len(data) == 540 + rh * rw // 4
    else:
        data = bytearray(540)
    data += coded
    if not lowbits:
        data += b'\xff\x00'
    data += bytes(max(0, 16400 - len(data)))
    test = data[:16384]
    marks = [i for i in range(540, 16383) if test[i] == 0xFF]
    has_low = not marks or any(test[i + 1] != 0 for i in marks)
    assert has_low == bool(lowbits), name
    black = 0
    for r in range(rh):
        ir = r - 2
        if not 0 <= ir < c.height:
            continue
        for col in range(rw):
            ic = col - 3
            if 0 <= ic < c.width:
                c.store(ir, ic, full[r][col] << shift)
            else:
                black += full[r][col]
    c.black = (black << shift) // ((rw - c.width) * c.height)
    c.write(out, data)


def nikon_compressed(out):
    counts = [0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0]
    values = [5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12]
    codes = canonical_codes(counts, values)
    # 14 codes for 13 values: the last one, ten 1 bits, has no value and must decode as 0. It
    # carries every zero difference.
    codes[0] = (0x3FF, 10)
    c = Case('nikon_compressed', 'nikon_compressed_load_raw', 9, 4, rawwidth=12, left=1,
             dataoffset=2048, curveoffset=16)
    n = 3000
    curve = [(i * 7 + 3) & 0xFFFF for i in range(n)]
    vpred0 = [100, 200, 300, 400]
    header = bytearray(16) + struct.pack('<4HH', *vpred0, n) + struct.pack('<%dH' % n, *curve)
    header += bytes(2048 - len(header)) if len(header) < 2048 else b''
    c.dataoffset = len(header)
    m = mosaic(4, 12, 11, 5)
    m[1][4] = m[1][2]
    m[2][9] = m[2][7]
    vpred = list(vpred0)
    hpred = [0, 0]
    bits = Bits()
    for r in range(4):
        for col in range(12):
            u = m[r][col]
            if col < 2:
                k = 2 * (r & 1) + (col & 1)
                d = u - vpred[k]
                vpred[k] = u
            else:
                d = u - hpred[col & 1]
            hpred[col & 1] = u
            ln, v = magnitude(d)
            code, length = codes[ln]
            bits.put(code, length)
            bits.put(v, ln)
            c.store(r, col - 1, curve[min(u, n - 1)] << 2)
    c.write(out, header + bits.done())


def lossless_jpeg(height, jwide, samples):
    """Two-component lossless JPEG of height rows of jwide samples (jwide / 2 per component)."""
    counts = [0, 2, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0]
    values = list(range(17))
    codes = canonical_codes(counts, values)
    table = bytes(counts) + bytes(values)
    dht = b'\xff\xc4' + struct.pack('>H', 2 + 2 * (1 + len(table))) + b'\x00' + table + \
        b'\x01' + table
    sof = b'\xff\xc3' + struct.pack('>HBHHB', 14, 12, height, jwide // 2, 2) + \
        b'\x01\x11\x00\x02\x11\x00'
    sos = b'\xff\xda' + struct.pack('>HB', 10, 2) + b'\x01\x00\x02\x11\x01\x00\x00'
    bits = Bits(stuff=True)
    vpred = [2048, 2048]
    hpred = [0, 0]
    for jrow in range(height):
        for jcol in range(jwide):
            v = samples[jrow][jcol]
            if jcol < 2:
                d = v - vpred[jcol]
                vpred[jcol] = v
            else:
                d = v - hpred[jcol & 1]
            hpred[jcol & 1] = v
            n, b = magnitude(d)
            code, length = codes[n]
            bits.put(code, length)
            bits.put(b, n)
    return b'\xff\xd8' + dht + sof + sos + bits.done()


def jpeg_lossless(out):
    c = Case('jpeg_lossless', 'jpeg_lossless_load_raw', 10, 5, rawwidth=14, rawheight=6, top=1,
             left=2)
    m = mosaic(6, 14, 12, 9)
    black = 0
    for r in range(6):
        for col in range(14):
            ir, ic = r - 1, col - 2
            if ir >= 5:
                continue
            if ic < 10:
                if ir >= 0 and ic >= 0:
                    c.store(ir, ic, m[r][col] << 2)
            else:
                black += m[r][col]
    c.black = black * 4 // (4 * 5)
    c.write(out, lossless_jpeg(6, 14, m))
    # Kodak's wide sensor: columns in slices of 1680, 1680 and 1748; black is the minimum.
    jhigh = 3
    k = Case('jpeg_lossless_5108', 'jpeg_lossless_load_raw', 5100, 3, rawwidth=5108, make='KODAK')
    raw = [[0] * 5108 for _ in range(jhigh)]
    jwide = 5108
    samples = [[((jrow * 5108 + jcol) * 7 + 300) % 4000 + 20 for jcol in range(jwide)]
               for jrow in range(jhigh)]
    least = 1 << 20
    for jrow in range(jhigh):
        for jcol in range(jwide):
            jidx = jrow * jwide + jcol
            i = jidx // (1680 * jhigh)
            if i <= 1:
                row, col = jidx // 1680 % jhigh, jidx % 1680 + i * 1680
            else:
                j = jidx - 3360 * jhigh
                row, col = j // 1748, j % 1748 + 3360
            v = samples[jrow][jcol]
            if row < 3 and col < 5100:
                k.store(row, col, v << 2)
                least = min(least, v)
    k.black = least * 4
    k.write(out, lossless_jpeg(jhigh, jwide, samples))


class KodakBits:
    """The DCR and YCC difference code: bits taken from the low end, 16-bit words big-endian."""

    def __init__(self, count):
        self.values = []
        self.consumed = 2 if count % 8 == 4 else 0
        self.have = 16 if count % 8 == 4 else 0

    def put(self, d):
        n, v = magnitude(d)
        if self.have < n:
            self.consumed += 4
            self.have += 32
        self.have -= n
        self.values.append((v, n))
        return n

    def data(self):
        acc = 0
        pos = 0
        for v, n in self.values:
            acc |= v << pos
            pos += n
        words = self.consumed // 2
        return b''.join(struct.pack('>H', (acc >> (16 * i)) & 0xFFFF) for i in range(words))


def nibbles(lengths):
    out = bytearray()
    for i in range(0, len(lengths), 2):
        hi = lengths[i + 1] if i + 1 < len(lengths) else 0
        out.append(lengths[i] | hi << 4)
    return bytes(out)


def kodak_dcr(out):
    c = Case('kodak_dcr', 'kodak_dcr_load_raw', 36, 4)
    m = mosaic(4, 36, 12, 2)
    data = bytearray()
    for r in range(4):
        kb = KodakBits(36)
        pred = [0, 0]
        lengths = []
        for col in range(36):
            lengths.append(kb.put(m[r][col] - pred[col & 1]))
            pred[col & 1] = m[r][col]
            c.store(r, col, m[r][col] << 2)
        data += nibbles(lengths) + kb.data()
    c.write(out, data)
    p = Case('kodak_dcr_packed', 'kodak_dcr_load_raw', 32, 3)
    m = mosaic(3, 32, 12, 4)
    data = bytearray()
    for r in range(3):
        for g in range(0, 32, 8):
            v = m[r][g:g + 8]
            if g == 0:
                v[2] = 0xD00 | (v[2] & 0xFF)
                m[r][2] = v[2]
            w = [v[k] & 0xFFF for k in range(2, 8)]
            tops = [v[0] >> 8, v[1] >> 8, (v[0] >> 4) & 15, (v[1] >> 4) & 15, v[0] & 15, v[1] & 15]
            for k in range(6):
                data += struct.pack('>H', (tops[k] << 12) | w[k])
        for col in range(32):
            p.store(r, col, m[r][col] << 2)
    p.write(out, data)


def kodak_ycc(out):
    c = Case('kodak_ycc', 'kodak_ycc_load_raw', 6, 4, filters=0)
    data = bytearray()
    for row in range(0, 4, 2):
        n = min(384, ((6 + 1) * 3) & ~3)
        kb = KodakBits(n)
        lengths = []
        y1 = y3 = cb = cr = 0
        for col in range(0, 6, 2):
            y = [row * 40 + col * 9 + 100, row * 40 + col * 9 + 130, row * 40 + col * 7 + 90,
                 row * 40 + col * 7 + 60]
            ncb, ncr = 20 - col * 15, col * 10 - 25
            d = [y[0] - y1, y[1] - y[0], y[2] - y3, y[3] - y[2], ncb - cb, ncr - cr]
            y1, y3, cb, cr = y[1], y[3], ncb, ncr
            for diff in d:
                lengths.append(kb.put(diff))
            for i in range(4):
                for s, v in enumerate((y[i] + cr, y[i], y[i] + cb)):
                    if v > 0:
                        c.expect_rgb[(row + i // 2, col + (i & 1), s)] = min(v, 4095) << 2
        lengths += [0] * (n - len(lengths))
        data += nibbles(lengths) + kb.data()
    c.write_rgb(out, data)


def radc_codes():
    """(code, length) of every value of the 18 radial trees, built depth first from the pairs."""
    pairs = RADC
    trees = []
    pos = [0]

    def build(depth, prefix, codes):
        length = pairs[pos[0]][0] if pos[0] < len(pairs) else 0
        if depth < length:
            build(depth + 1, prefix + '0', codes)
            build(depth + 1, prefix + '1', codes)
        else:
            codes.setdefault(pairs[pos[0]][1], (int(prefix, 2) if prefix else 0, len(prefix)))
            pos[0] += 1

    for _ in range(18):
        codes = {}
        build(0, '', codes)
        trees.append(codes)
    return trees


def tdiv(a, b):
    """Integer division rounding toward zero."""
    q = abs(a) // abs(b)
    return q if (a < 0) == (b < 0) else -q


def int16(v):
    """The value kept by a signed 16-bit buffer entry."""
    return (v + 0x8000) % 0x10000 - 0x8000


class Radc:
    """Encoder of the radial code: writes the symbols pick(tree, values) chooses and keeps the
    decoder's prediction buffer, so that the stored values follow from the symbols."""

    def __init__(self, width, model, pick):
        self.trees = radc_codes()
        self.bits = Bits()
        self.width = width
        # Raw symbols have 5 bits when the model's third character is '4', else 6.
        self.small = model[2:3] == '4'
        self.pick = pick
        self.buf = [[[2048] * 386 for _ in range(3)] for _ in range(3)]

    def symbol(self, tree):
        if tree == 18:
            n = 5 if self.small else 6
            s = self.pick(18, range(1 << n))
            self.bits.put(s, n)
            return s * 8 + 4 if self.small else s * 4 + 2
        v = self.pick(tree, sorted(self.trees[tree]))
        self.bits.put(*self.trees[tree][v])
        return v

    @staticmethod
    def predict(b, c, y, x):
        if c == 0:
            return tdiv(b[y - 1][x + 1] + 2 * b[y - 1][x] + b[y][x + 1], 4)
        return tdiv(b[y - 1][x] + b[y][x + 1], 2)

    @staticmethod
    def fill(b, col, value):
        for y in (1, 2):
            for x in (col + 1, col):
                b[y][x] = int16(value(y, x))

    def run(self, c, mul):
        """One pass of colour c, right to left."""
        b = self.buf[c]
        col = self.width // 2
        b[1][col] = b[2][col] = int16(mul << 7)
        tree = 1
        while col > 0:
            tree = self.symbol(tree)
            if tree == 8:
                col -= 2
                self.fill(b, col, lambda y, x: self.symbol(18) * mul)
            elif tree:
                col -= 2
                self.fill(b, col, lambda y, x: self.symbol(tree + 10) * 16 +
                          self.predict(b, c, y, x))
            else:
                nreps = 9
                while nreps == 9:
                    nreps = self.symbol(9) + 1 if col > 2 else 1
                    for rep in range(min(8, nreps)):
                        if col <= 0:
                            break
                        col -= 2
                        self.fill(b, col, lambda y, x: self.predict(b, c, y, x))
                        if rep & 1:
                            step = self.symbol(10) * 16
                            self.fill(b, col, lambda y, x: b[y][x] + step)


def dc40_case(out, name, model, width, muls, pick):
    """Blocks of 4 rows, one a triple of multipliers."""
    height = 4 * len(muls)
    c = Case(name, 'dc40_load_raw', width, height, model=model)
    radc = Radc(width, model, pick)
    last = [16, 16, 16]
    cells = {}

    def flat(k):
        return cells.get((k // width, k % width), 0) if k >= 0 else 0

    for row in range(0, height, 4):
        mul = muls[row // 4]
        for m in mul:
            radc.bits.put(m, 6)
        for col_c in range(3):
            val = ((16777216 // last[col_c] + 2047) >> 12) * mul[col_c]
            s = 10 if val > 65564 else 12
            val <<= 12 - s
            b = radc.buf[col_c]
            for line in b:
                line[:] = [int16((e * val + (1 << (s - 1)) - 1) >> s) for e in line]
            last[col_c] = mul[col_c]
            for p in range(2 if col_c == 0 else 1):
                radc.run(col_c, mul[col_c])
                for y in range(2):
                    for x in range(width // 2):
                        v = max(b[y + 1][x] * 16 // mul[col_c], 0)
                        if col_c:
                            pos = (row + y * 2 + col_c - 1, x * 2 + 2 - col_c)
                        else:
                            pos = (row + p * 2 + y, x * 2 + y)
                        cells[pos] = v & 0xFFFF
                shift = 1 if col_c == 0 else 0
                b[0][shift:] = b[2][:386 - shift]
        for y in range(row, row + 4):
            for x in range(width):
                if (x + y) & 1:
                    i = y * width + x
                    v = (flat(i - 1) + flat(i + 1)) // 2 + 2 * cells.get((y, x), 0) - 4096
                    cells[(y, x)] = max(v, 0) & 0xFFFF
    for (r, col), v in cells.items():
        c.store(r, col, v)
    c.write(out, radc.bits.done())


def dc40(out):
    # Every block filled from raw symbols (tree 8).
    count = iter(range(1000))
    dc40_case(out, 'dc40', 'DC40', 8, [[20, 30, 40]],
              lambda tree, values: next(count) % 32 if tree == 18 else 8)
    # A script of next trees (0: repeat) and repeat counts (tree 9; 8 is nine, which goes on);
    # differences and raw symbols cycle through their values. The multipliers of the third block
    # follow a multiplier of 1, which rescales with the smaller shift.
    script = {'next': [3, 0, 8, 5, 0, 1, 7, 2, 0, 4, 6, 8], 9: [8, 2, 0, 5]}
    turns = {}

    def pick(tree, values):
        values = list(values)
        key = 'next' if tree <= 8 else tree
        while True:
            n = turns[key] = turns.get(key, 0) + 1
            v = script[key][n % len(script[key])] if key in script else values[n * 7 % len(values)]
            if v in values:
                return v

    dc40_case(out, 'dc40_mixed', 'DC50', 48, [[20, 30, 40], [25, 1, 63], [33, 50, 2]], pick)


def f828_pad(key):
    pad = [0] * 128
    for p in range(4):
        key = (key * 48828125 + 1) & 0xFFFFFFFF
        pad[p] = key
    pad[3] = ((pad[3] << 1) | ((pad[0] ^ pad[2]) >> 31)) & 0xFFFFFFFF
    for p in range(4, 127):
        pad[p] = (((pad[p - 4] ^ pad[p - 2]) << 1) | ((pad[p - 3] ^ pad[p - 1]) >> 31)) & 0xFFFFFFFF
    return [pad, 0]


def f828_cipher(state, data):
    pad = state[0]
    out = bytearray()
    for i in range(0, len(data), 4):
        p = state[1]
        pad[p & 127] = pad[(p + 1) & 127] ^ pad[(p + 65) & 127]
        state[1] += 1
        out += struct.pack('>I', struct.unpack('>I', data[i:i + 4])[0] ^ pad[p & 127])
    return bytes(out)


def dsc_f828(out):
    rw, width, height, left = 3344, 3330, 2, 4
    c = Case('dsc_f828', 'dsc_f828_load_raw', width, height, rawwidth=rw, left=left)
    key = 0x12345678
    plain_head = bytes(range(40))
    key2 = plain_head[25] << 24 | plain_head[24] << 16 | plain_head[23] << 8 | plain_head[22]
    data = bytearray(862144)
    data[200896] = 1
    data[200900:200904] = struct.pack('>I', key)
    data[164600:164640] = f828_cipher(f828_pad(key), plain_head)
    m = mosaic(height, rw, 14, 6)
    state = f828_pad(key2)
    black = 0
    for r in range(height):
        plain = struct.pack('>%dH' % rw, *m[r])
        data += f828_cipher(state, plain)
        for i in range(3343):
            ic = i - left
            if 0 <= ic < width:
                c.store(r, ic, m[r][i])
            else:
                black += m[r][i]
    c.black = black // (height * (3343 - width))
    c.write(out, data)


def fuji(out):
    """Fuji's 45-degree sensors: rows of fixed counts go to diagonals of the picture. The buffer
    is a band along the top edge, reached by the first rows only (12 at most); the loaders read
    zeros past the 14 rows packed, and those land outside it."""
    rows, height = 14, 6
    for name, width, filters, skip, order, ncol, first, count, shift, place in (
            ('fuji_s2pro', 2156, 0x61616161, 141376, '>', 2944, 0, 2880, 2,
             lambda r, col: (r + (col + 1) // 2, 2143 - r + col // 2)),
            ('fuji_s5000_diagonal', 1432, 0x49494949, 11824, '<', 1472, 0, 1424, 2,
             lambda r, col: (1423 - col + r // 2, col + (r + 1) // 2)),
            ('fuji_s7000_diagonal', 2056, 0x49494949, 0, '<', 2048, 0, 2048, 2,
             lambda r, col: (2047 - col + r // 2, col + (r + 1) // 2)),
            ('fuji_f700s20', 1448, 0x49494949, 0, '<', 2944, 16, 1440, 0,
             lambda r, col: (1439 - col + r // 2, col + (r + 1) // 2))):
        c = Case(name, name + '_load_raw', width, height, filters=filters, make='FUJIFILM')
        m = mosaic(rows, ncol, 16 - shift, ncol % 7)
        data = bytearray(skip)
        for r in range(rows):
            data += struct.pack('%s%dH' % (order, ncol), *m[r])
            for col in range(count):
                c.store(*place(r, col), m[r][col + first] << shift)
        c.write(out, data)


def rollei(out):
    rw, rh = 16, 4
    c = Case('rollei', 'rollei_packed_load_raw', 12, 3, rawwidth=rw, rawheight=rh, top=1, left=2)
    groups = rw * rh // 8
    data = bytearray()
    todo = 0
    extra = rw * rh * 5 // 8
    for g in range(groups):
        group = bytes(((g * 10 + i) * 29 + 7) & 255 for i in range(10))
        data += group
        acc = 0
        for i in range(5):
            acc = ((acc << 6) | (group[i * 2] >> 2)) & 0x3FFFFFFF
            v = struct.unpack('>H', group[i * 2:i * 2 + 2])[0]
            c.store(todo // rw - 1, todo % rw - 2, (v & 0x3FF) << 4)
            todo += 1
        for k in range(3):
            v = acc >> (20 - 10 * k)
            c.store(extra // rw - 1, extra % rw - 2, (v & 0x3FF) << 4)
            extra += 1
    c.write(out, data + b'\x01\x02\x03')


FIRST = [
    [0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x03, 0x05, 0x06, 0x02, 0x07, 0x01, 0x08,
     0x09, 0x00, 0x0a, 0x0b, 0xff],
    [0, 2, 2, 3, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x02, 0x04, 0x01, 0x05, 0x00, 0x06, 0x07,
     0x09, 0x08, 0x0a, 0x0b, 0xff]]


def hexes(text):
    return [int(x, 16) for x in text.split()]


SECOND = [
    hexes('00 02 02 02 01 04 02 01 02 05 01 01 00 00 00 8b 03 04 02 05 01 06 07 08 12 13 11 14 09 '
          '15 22 00 21 16 0a f0 23 17 24 31 32 18 19 33 25 41 34 42 35 51 36 37 38 29 79 26 1a 39 '
          '56 57 28 27 52 55 58 43 76 59 77 54 61 f9 71 78 75 96 97 49 b7 53 d7 74 b6 98 47 48 95 '
          '69 99 91 fa b8 68 b5 b9 d6 f7 d8 67 46 45 94 89 f8 81 d5 f6 b4 88 b1 2a 44 72 d9 87 66 '
          'd4 f5 3a a7 73 a9 a8 86 62 c7 65 c8 c9 a1 f4 d1 e9 5a 92 85 a6 e7 93 e8 c1 c6 7a 64 e1 '
          '4a 6a e6 b3 f1 d3 a5 8a b2 9a ba 84 a4 63 e5 c5 f3 d2 c4 82 aa da e4 f2 ca 83 a3 a2 c3 '
          'ea c2 e2 e3 ff ff'),
    hexes('00 02 02 01 04 01 04 01 03 03 01 00 00 00 00 8c 02 03 01 04 05 12 11 06 13 07 08 14 22 '
          '09 21 00 23 15 31 32 0a 16 f0 24 33 41 42 19 17 25 18 51 34 43 52 29 35 61 39 71 62 36 '
          '53 26 38 1a 37 81 27 91 79 55 45 28 72 59 a1 b1 44 69 54 58 d1 fa 57 e1 f1 b9 49 47 63 '
          '6a f9 56 46 a8 2a 4a 78 99 3a 75 74 86 65 c1 76 b6 96 d6 89 85 c9 f5 95 b4 c7 f7 8a 97 '
          'b8 73 b7 d8 d9 87 a7 7a 48 82 84 ea f4 a6 c5 5a 94 a4 c6 92 c3 68 b5 c8 e4 e5 e6 e9 a2 '
          'a3 e3 c2 66 67 93 aa d4 d5 e7 f8 88 9a d7 77 c4 64 e2 98 a5 ca da e8 f3 f6 a9 b2 b3 f2 '
          'd2 83 ba d3 ff ff')]

RADC = [(1, 1), (2, 3), (3, 4), (4, 2), (5, 7), (6, 5), (7, 6), (7, 8),
        (1, 0), (2, 1), (3, 3), (4, 4), (5, 2), (6, 7), (7, 6), (8, 5), (8, 8),
        (2, 1), (2, 3), (3, 0), (3, 2), (3, 4), (4, 6), (5, 5), (6, 7), (6, 8),
        (2, 0), (2, 1), (2, 3), (3, 2), (4, 4), (5, 6), (6, 7), (7, 5), (7, 8),
        (2, 1), (2, 4), (3, 0), (3, 2), (3, 3), (4, 7), (5, 5), (6, 6), (6, 8),
        (2, 3), (3, 1), (3, 2), (3, 4), (3, 5), (3, 6), (4, 7), (5, 0), (5, 8),
        (2, 3), (2, 6), (3, 0), (3, 1), (4, 4), (4, 5), (4, 7), (5, 2), (5, 8),
        (2, 4), (2, 7), (3, 3), (3, 6), (4, 1), (4, 2), (4, 5), (5, 0), (5, 8),
        (2, 6), (3, 1), (3, 3), (3, 5), (3, 7), (3, 8), (4, 0), (5, 2), (5, 4),
        (2, 0), (2, 1), (3, 2), (3, 3), (4, 4), (4, 5), (5, 6), (5, 7), (4, 8),
        (1, 0), (2, 2), (2, -2), (1, -3), (1, 3), (2, -17), (2, -5), (2, 5), (2, 17),
        (2, -7), (2, 2), (2, 9), (2, 18), (2, -18), (2, -9), (2, -2), (2, 7),
        (2, -28), (2, 28), (3, -49), (3, -9), (3, 9), (4, 49), (5, -79), (5, 79),
        (2, -1), (2, 13), (2, 26), (3, 39), (4, -16), (5, 55), (6, -37), (6, 76),
        (2, -26), (2, -13), (2, 1), (3, -39), (4, 16), (5, -55), (6, -76), (6, 37)]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    open(os.path.join(out, 'cases.txt'), 'w').close()
    unpacked(out)
    eight_bit(out)
    packed12(out)
    nikon_e950(out)
    nikon_packed(out)
    e2100(out)
    qv5700(out)
    powershot600(out)
    powershot_a5(out)
    nucore(out)
    imacon(out)
    phaseone(out)
    olympus(out)
    dc120(out)
    kodak_easy(out)
    canon(out, 0)
    canon(out, 1)
    nikon_compressed(out)
    jpeg_lossless(out)
    kodak_dcr(out)
    dc40(out)
    dsc_f828(out)
    rollei(out)
    kodak_ycc(out)
    fuji(out)


if __name__ == '__main__':
    main()
