#!/usr/bin/python3
"""Makes the seed corpora of the fuzz targets: small pictures of every layout the readers know,
written by ImageMagick, libtiff's tools, cjpeg, opj_compress, exiftool and Pillow, with the option
bytes each target reads first (fuzz/FuzzTargets.cpp), and the metadata blocks cut out of them.
The library's own formats come from fuzz_seed_writer.

Usage: make_seeds.py OUTDIR SEED_WRITER
"""
import glob
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageCms, ImageDraw

TARGETS = ['jpeg', 'png', 'jpeg2000', 'tiff', 'bmp', 'gif', 'pnm', 'wbmp', 'psd', 'ico',
           'rawpixels', 'pcx', 'tga',
           'giflzw', 'tifflzw', 'ccitt',
           'layers', 'rawdump', 'exif', 'iptc', 'xmp', 'tiffdir', 'icc', 'annotations',
           'markers', 'detect', 'cameraraw', 'metafile']


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Seeds:
    def __init__(self, out, work):
        self.out = out
        self.work = work

    def add(self, target, name, data, prefix=b''):
        with open(os.path.join(self.out, target, name), 'wb') as f:
            f.write(prefix + data)

    def path(self, name):
        return os.path.join(self.work, name)


def picture(mode, size=(24, 17)):
    """A picture with gradients, edges and a few flat areas."""
    im = Image.new('RGB', size)
    w, h = size
    im.putdata([((x * 255) // w, (y * 255) // h, ((x ^ y) * 16) & 255)
                for y in range(h) for x in range(w)])
    ImageDraw.Draw(im).rectangle([w // 4, h // 4, w // 2, h // 2], fill=(250, 250, 250))
    if mode == 'RGBA':
        im.putalpha(Image.linear_gradient('L').resize(size))
        return im
    if mode == 'P':
        return im.quantize(16)
    return im.convert(mode)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def jpeg_segments(data):
    """(marker, payload) of the segments before the first scan."""
    pos, out = 2, []
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        marker = data[pos + 1]
        length = struct.unpack('>H', data[pos + 2:pos + 4])[0]
        out.append((marker, data[pos + 4:pos + 2 + length]))
        if marker == 0xDA:
            break
        pos += 2 + length
    return out


def jpeg_seeds(s):
    base = s.path('base.ppm')
    picture('RGB', (40, 27)).save(base)
    gray = s.path('gray.pgm')
    picture('L', (33, 20)).save(gray)
    variants = {
        'baseline': ['-quality', '80'],
        'progressive': ['-progressive'],
        'arithmetic': ['-arithmetic'],
        'restart': ['-restart', '1B'],
        'h1v1': ['-sample', '1x1'],
        'h2v2-optimize': ['-sample', '2x2', '-optimize'],
        'h4v1': ['-sample', '4x1'],
    }
    files = {}
    for name, args in variants.items():
        out = s.path(name + '.jpg')
        run('cjpeg', *args, '-outfile', out, base)
        files[name] = out
    out = s.path('gray.jpg')
    run('cjpeg', '-outfile', out, gray)
    files['gray'] = out
    out = s.path('cmyk.jpg')
    run('convert', base, '-colorspace', 'CMYK', out)
    files['cmyk'] = out
    out = s.path('ycck.jpg')
    run('convert', base, '-colorspace', 'CMYK', '-define', 'jpeg:colorspace=YCCK', out)
    files['ycck'] = out
    srgb = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes()
    out = s.path('icc.jpg')
    picture('RGB').save(out, icc_profile=srgb)
    files['icc'] = out
    thumb = s.path('thumb.jpg')
    picture('RGB', (8, 6)).save(thumb)
    out = s.path('exif.jpg')
    shutil.copy(files['baseline'], out)
    run('exiftool', '-q', '-overwrite_original', '-n', '-Make=Maker', '-Model=Model',
        '-Orientation=6', '-XResolution=300', '-YResolution=300', '-ResolutionUnit=2',
        '-DateTimeOriginal=2020:01:02 03:04:05', '-GPSLatitude=48.8', '-GPSLatitudeRef=N',
        '-ThumbnailImage<=' + thumb, out)
    files['exif'] = out
    out = s.path('iptc-xmp.jpg')
    shutil.copy(files['baseline'], out)
    run('exiftool', '-q', '-overwrite_original', '-IPTC:Keywords=key', '-IPTC:Caption-Abstract=cap',
        '-XMP:Title=title', '-XMP:Subject=subject', '-Comment=comment', out)
    files['iptc-xmp'] = out
    # Mode bytes: full load, parameters only, EXIF thumbnail, scaled to a half and an eighth,
    # colour management, native pixel format.
    prefixes = [0, 1, 2, 3 | 4, 3 | 12, 16, 32]
    for name, path in files.items():
        data = read(path)
        for p in prefixes:
            s.add('jpeg', '%s-%02x.jpg' % (name, p), data, bytes([p]))
        s.add('detect', name + '.jpg', data)
        for marker, payload in jpeg_segments(data):
            if marker == 0xE1 and payload.startswith(b'Exif\0'):
                s.add('exif', name + '.exif', payload[6:], b'\x01')
                s.add('exif', name + '-nothumb.exif', payload[6:], b'\x00')
                s.add('tiffdir', name + '.exif', payload[6:])
            if marker == 0xE1 and payload.startswith(b'http://ns.adobe.com/xap/1.0/'):
                s.add('xmp', name + '.xmp', payload)
            if marker == 0xED:
                s.add('iptc', name + '.iptc', payload)
            if marker == 0xE2 and payload.startswith(b'ICC_PROFILE'):
                s.add('icc', name + '.icc', payload[14:])
            if 0xE0 <= marker <= 0xEF or marker == 0xFE:
                code = 0xFE if marker == 0xFE else marker - 0xE0
                s.add('markers', '%s-%02x.markers' % (name, marker),
                      bytes([code]) + struct.pack('<H', len(payload)) + payload)


def png_seeds(s):
    files = {}
    for mode in ['1', 'L', 'LA', 'P', 'RGB', 'RGBA', 'I;16']:
        im = picture('L' if mode == 'I;16' else mode)
        if mode == 'I;16':
            im = im.convert('I').point(lambda v: v * 257)
        bio = io.BytesIO()
        if mode == 'P':
            im.save(bio, 'PNG', transparency=3)
        else:
            im.save(bio, 'PNG', dpi=(150, 150))
        files['pil-' + mode.replace(';', '')] = bio.getvalue()
    base = s.path('png.ppm')
    picture('RGB').save(base)
    for name, args in {'interlaced': ['-interlace', 'PNG'], 'rgb16': ['-depth', '16'],
                       'gray2': ['-colorspace', 'Gray', '-depth', '2'],
                       'palette4': ['-colors', '12', '-define', 'png:bit-depth=4'],
                       'gamma': ['-gamma', '0.8', '-define', 'png:include-chunk=gAMA,bKGD']
                       }.items():
        out = s.path(name + '.png')
        run('convert', base, *args, out)
        files[name] = read(out)
    for name, data in files.items():
        s.add('png', name + '.png', data)
        s.add('detect', name + '.png', data)


def jpeg2000_seeds(s):
    rgb = s.path('j2k.ppm')
    picture('RGB', (37, 29)).save(rgb)
    gray = s.path('j2k.pgm')
    picture('L', (20, 18)).save(gray)
    rgba = s.path('j2k.png')
    picture('RGBA').save(rgba)
    cases = {
        'lossless.j2k': (rgb, []), 'lossless.jp2': (rgb, []),
        'tiles.j2k': (rgb, ['-t', '16,16']), 'lossy.jp2': (rgb, ['-r', '20,10']),
        'levels.j2k': (rgb, ['-n', '2', '-p', 'RPCL']), 'precincts.jp2': (rgb, ['-c', '[16,16]']),
        'gray.jp2': (gray, []), 'gray-sop.j2k': (gray, ['-SOP', '-EPH']),
        'alpha.jp2': (rgba, []), 'irreversible.j2k': (rgb, ['-I', '-r', '10']),
    }
    for name, (source, args) in cases.items():
        out = s.path(name)
        # Three resolution levels suit pictures this small.
        levels = [] if '-n' in args else ['-n', '3']
        try:
            run('opj_compress', '-i', source, '-o', out, *levels, *args)
        except subprocess.CalledProcessError:
            continue
        data = read(out)
        s.add('jpeg2000', name, data)
        s.add('detect', name, data)


def tiff_strip(path):
    """The first strip of a TIFF file and the file's tags, as Pillow reads them."""
    with Image.open(path) as im:
        tags = im.tag_v2
        offset, count = tags[273][0], tags[279][0]
    return read(path)[offset:offset + count]


def tiff_seeds(s):
    files = {}
    for name, (mode, args) in {
            'raw-rgb': ('RGB', {}), 'lzw-rgb': ('RGB', {'compression': 'tiff_lzw'}),
            'deflate-rgba': ('RGBA', {'compression': 'tiff_adobe_deflate'}),
            'packbits-l': ('L', {'compression': 'packbits'}),
            'jpeg-rgb': ('RGB', {'compression': 'jpeg'}), 'palette': ('P', {}),
            'cmyk': ('CMYK', {}), 'la': ('LA', {}), 'bilevel': ('1', {}),
            'g3': ('1', {'compression': 'group3'}), 'g4': ('1', {'compression': 'group4'}),
            'i16': ('I;16', {})}.items():
        im = picture('L' if mode == 'I;16' else mode)
        if mode == 'I;16':
            im = im.convert('I;16')
        out = s.path(name + '.tif')
        im.save(out, dpi=(200, 100), **args)
        files[name] = out
    for name, args in {'g3-1d': ['-c', 'g3:1d'], 'g3-2d': ['-c', 'g3:2d:fill'],
                       'g4-lsb': ['-c', 'g4', '-f', 'lsb2msb'], 'msb-raw': ['-f', 'lsb2msb']
                       }.items():
        out = s.path(name + '.tif')
        run('tiffcp', *args, '-r', '100000', files['bilevel'], out)
        files[name] = out
    for name, args in {'tiled': ['-t', '-w', '16', '-l', '16'],
                       'separate': ['-p', 'separate'], 'predictor': ['-c', 'lzw:2'],
                       'zip-predictor': ['-c', 'zip:2']}.items():
        out = s.path(name + '.tif')
        run('tiffcp', *args, files['raw-rgb'], out)
        files[name] = out
    out = s.path('ycbcr.tif')
    run('convert', files['raw-rgb'], '-compress', 'JPEG', '-define', 'tiff:photometric=ycbcr', out)
    files['ycbcr'] = out
    out = s.path('assoc-alpha.tif')
    run('convert', files['deflate-rgba'], '-define', 'tiff:alpha=associated', out)
    files['assoc-alpha'] = out
    out = s.path('exif.tif')
    shutil.copy(files['raw-rgb'], out)
    run('exiftool', '-q', '-overwrite_original', '-Make=Maker', '-ExposureTime=1/60',
        '-GPSLatitude=48.8', '-GPSLatitudeRef=N', '-IPTC:Keywords=key', '-XMP:Title=t', out)
    files['exif'] = out
    out = s.path('pages.tif')
    run('tiffcp', files['palette'], files['lzw-rgb'], files['g4'], out)
    files['pages'] = out
    for name, path in files.items():
        data = read(path)
        s.add('tiff', name + '.tif', data, b'\x00')
        s.add('tiffdir', name + '.tif', data)
        s.add('detect', name + '.tif', data)
    pages = read(files['pages'])
    for p in [1, 2, 8, 16]:
        s.add('tiff', 'pages-%02x.tif' % p, pages, bytes([p]))
    for name in ['lzw-rgb', 'predictor']:
        with Image.open(files[name]) as im:
            row = im.size[0] * 3
        s.add('tifflzw', name + '.lzw', tiff_strip(files[name]), struct.pack('<BH', 0, row - 1))
    width = 24
    for name, scheme in [('g3-1d', 1), ('g3-2d', 2), ('g4', 3), ('g4-lsb', 3 | 4), ('g3', 1)]:
        strip = tiff_strip(files[name])
        s.add('ccitt', name + '.fax', strip, struct.pack('<BH', scheme, width - 1))
        if scheme == 1:
            s.add('ccitt', name + '-mh.fax', strip, struct.pack('<BH', 0, width - 1))


def bmp_seeds(s):
    base = s.path('bmp.ppm')
    picture('RGB', (19, 13)).save(base)
    cases = {
        'bmp3-24': ['BMP3:'], 'bmp3-8': ['-type', 'Palette', 'BMP3:'],
        'bmp3-4': ['-colors', '16', '-type', 'Palette', 'BMP3:'],
        'bmp3-1': ['-type', 'Bilevel', 'BMP3:'],
        'rle8': ['-type', 'Palette', '-compress', 'RLE', 'BMP3:'],
        'rle4': ['-colors', '16', '-type', 'Palette', '-compress', 'RLE', 'BMP3:'],
        'bmp2': ['BMP2:'], 'rgb565': ['-define', 'bmp:subtype=RGB565', 'BMP:'],
        'argb': ['-alpha', 'set', '-channel', 'A', '-evaluate', 'set', '50%', 'BMP:'],
    }
    files = {}
    for name, args in cases.items():
        out = s.path(name + '.bmp')
        run('convert', base, *args[:-1], args[-1] + out)
        files[name] = read(out)
    # A top-down 24-bit file: the height negated and the rows reversed.
    data = bytearray(files['bmp3-24'])
    offset, = struct.unpack_from('<I', data, 10)
    width, height = struct.unpack_from('<ii', data, 18)
    stride = (width * 3 + 3) // 4 * 4
    rows = [data[offset + i * stride:offset + (i + 1) * stride] for i in range(height)]
    data[offset:offset + stride * height] = b''.join(reversed(rows))
    struct.pack_into('<i', data, 22, -height)
    files['topdown'] = bytes(data)
    bio = io.BytesIO()
    picture('RGBA').save(bio, 'BMP')
    files['pil-rgba'] = bio.getvalue()
    for name, data in files.items():
        s.add('bmp', name + '.bmp', data)
        s.add('detect', name + '.bmp', data)


def gif_image_data(data):
    """(interlaced, width, height, LZW data) of every image of a GIF file."""
    flags = data[10]
    pos = 13 + (3 << ((flags & 7) + 1) if flags & 0x80 else 0)
    out = []
    while pos < len(data):
        block = data[pos]
        if block == 0x21:
            pos += 2
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
        elif block == 0x2C:
            w, h, f = struct.unpack_from('<HHB', data, pos + 5)
            pos += 10 + (3 << ((f & 7) + 1) if f & 0x80 else 0)
            start = pos
            pos += 1
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
            out.append((bool(f & 0x40), w, h, data[start:pos]))
        else:
            break
    return out


def gif_seeds(s):
    files = {}
    frames = [picture('RGB', (20, 15)).rotate(a * 90).quantize(8 + a * 8) for a in range(3)]
    for disposal in range(4):
        bio = io.BytesIO()
        frames[0].save(bio, 'GIF', save_all=True, append_images=frames[1:], duration=50,
                       disposal=disposal, transparency=0, loop=0)
        files['anim-disposal%d' % disposal] = bio.getvalue()
    bio = io.BytesIO()
    picture('P').save(bio, 'GIF')
    files['still'] = bio.getvalue()
    base = s.path('gif.ppm')
    picture('RGB', (31, 22)).save(base)
    out = s.path('interlaced.gif')
    run('convert', base, '-interlace', 'GIF', out)
    files['interlaced'] = read(out)
    out = s.path('offset.gif')
    run('convert', '-size', '40x30', 'xc:white', '(', base, '-repage', '+5+4', ')',
        '-set', 'dispose', 'Previous', '-loop', '0', out)
    files['offset'] = read(out)
    for name, data in files.items():
        for frame in [0, 1, 2]:
            s.add('gif', '%s-%d.gif' % (name, frame), data, bytes([frame]))
        s.add('detect', name + '.gif', data)
        for i, (interlaced, w, h, lzw) in enumerate(gif_image_data(data)):
            s.add('giflzw', '%s-%d.lzw' % (name, i), lzw,
                  struct.pack('<BHH', int(interlaced), w - 1, h - 1))


def pnm_seeds(s):
    """Raw and plain PNM of every kind at 1, 8 and 16 bits, and WBMP of the same picture."""
    files = {}
    for mode, ext in [('1', 'pbm'), ('L', 'pgm'), ('RGB', 'ppm')]:
        bio = io.BytesIO()
        picture(mode, (13, 7)).save(bio, 'PPM')
        files['raw.' + ext] = bio.getvalue()
    rgb = picture('RGB', (13, 7))
    samples = [v for px in rgb.getdata() for v in px]
    files['wide.ppm'] = b'P6\n# sixteen bits\n13 7\n65535\n' + b''.join(
        struct.pack('>H', v * 257) for v in samples)
    files['grey1000.pgm'] = b'P5 13 7 1000\n' + b''.join(
        struct.pack('>H', v * 1000 // 255) for v in samples[::3])
    files['plain.ppm'] = ('P3\n13 7\n15\n' + ' '.join(str(v * 15 // 255) for v in samples)
                          + '\n').encode()
    files['plain.pgm'] = ('P2 13 7 255\n# grey\n' + ' '.join(str(v) for v in samples[::3])
                          + '\n').encode()
    bits = picture('1', (13, 7))
    files['plain.pbm'] = ('P1\n13 7\n' + '\n'.join(
        ''.join('0' if bits.getpixel((x, y)) else '1' for x in range(13)) for y in range(7))
        + '\n').encode()
    for name, data in files.items():
        for flags in range(4):
            s.add('pnm', '%s-%d' % (name, flags), data, bytes([flags]))
        s.add('detect', name, data)
    rows = b''.join(bytes([int(''.join('1' if bits.getpixel((x, y)) else '0'
                                        for x in range(i, min(i + 8, 13))).ljust(8, '0'), 2)
                           for i in range(0, 13, 8)]) for y in range(7))
    s.add('wbmp', 'picture.wbmp', bytes([0, 0, 13, 7]) + rows)
    s.add('wbmp', 'wide.wbmp', bytes([0, 0, 0x81, 0x48, 2]) + bytes(50))


def psd_seeds(s):
    """ImageMagick's PSD files: every colour mode at 8 and 16 bits, packed and stored, and
    layered files with offsets and alpha."""
    base, rgba = s.path('psd.ppm'), s.path('psd.png')
    picture('RGB', (21, 13)).save(base)
    picture('RGBA', (9, 6)).save(rgba)
    cases = {
        'rgb': [base], 'grey': [base, '-colorspace', 'Gray'], 'rgb16': [base, '-depth', '16'],
        'grey16': [base, '-colorspace', 'Gray', '-depth', '16'],
        'cmyk': [base, '-colorspace', 'CMYK'], 'indexed': [base, '-type', 'Palette'],
        'bilevel': [base, '-type', 'Bilevel'], 'alpha': [rgba],
        'lab': [base, '-colorspace', 'Lab'],
        'layers': [base, base, '(', rgba, '-set', 'page', '+5+3', ')', rgba],
    }
    for name, args in cases.items():
        for compress in ('RLE', 'None'):
            out = s.path('%s-%s.psd' % (name, compress))
            run('convert', *args, '-compress', compress, out)
            data = read(out)
            for flags in (0, 1, 2, 5, 8):
                s.add('psd', '%s-%s-%d' % (name, compress, flags), data, bytes([flags]))
            s.add('detect', '%s-%s.psd' % (name, compress), data)
def pcx_seeds(s):
    """PCX of every layout netpbm and ImageMagick write, raw and run-length, and a DCX of three
    pages; option byte 0 reads them as PCX, 1 and 5 as DCX pages 0 and 2."""
    base = s.path('pcx.ppm')
    picture('RGB', (19, 13)).save(base)
    files = {}
    for name, args in {'8bit': ['-8bit'], '24bit': ['-24bit'], 'planes1': ['-planes', '1'],
                       'planes4': ['-planes', '4'], 'packed': ['-packed']}.items():
        out = s.path(name + '.pcx')
        reduced = s.path(name + '.ppm')
        with open(reduced, 'wb') as f:
            colours = {'planes1': 2, 'planes4': 16, 'packed': 16}.get(name)
            im = picture('RGB', (19, 13))
            (im.quantize(colours).convert('RGB') if colours else im).save(f, 'PPM')
        with open(out, 'wb') as f:
            subprocess.run(['ppmtopcx', *args, reduced], check=True, stdout=f,
                           stderr=subprocess.DEVNULL)
        files[name] = read(out)
    for name, args in {'im-rgb': [], 'im-palette': ['-type', 'Palette'],
                       'im-bilevel': ['-type', 'Bilevel'], 'im-raw': ['-compress', 'None']}.items():
        out = s.path(name + '.pcx')
        run('convert', base, *args, 'pcx:' + out)
        files[name] = read(out)
    out = s.path('pages.dcx')
    run('convert', base, '-type', 'Palette', base, '-type', 'Bilevel', base, 'dcx:' + out)
    dcx = read(out)
    for name, data in files.items():
        s.add('pcx', name + '.pcx', data, b'\x00')
        s.add('detect', name + '.pcx', data)
    for flags in [1, 5, 16 | 3]:
        s.add('pcx', 'pages-%02x.dcx' % flags, dcx, bytes([flags]))
    s.add('detect', 'pages.dcx', dcx)


def tga_seeds(s):
    """Targa files of Pillow (grey, grey and alpha, palette, RGB, RGBA; raw and run-length, both
    orientations), ImageMagick and netpbm."""
    files = {}
    for mode in ['L', 'LA', 'P', 'RGB', 'RGBA']:
        for rle in (False, True):
            for orientation in (1, -1):
                bio = io.BytesIO()
                im = picture('RGBA' if mode == 'LA' else mode, (13, 9))
                (im.convert('LA') if mode == 'LA' else im).save(
                    bio, 'TGA', rle=rle, orientation=orientation, id_section=b'seed')
                files['pil-%s-%s-%d' % (mode, 'rle' if rle else 'raw', orientation)] = \
                    bio.getvalue()
    base = s.path('tga.ppm')
    picture('RGB', (13, 9)).save(base)
    for name, args in {'im': [], 'im-rle': ['-compress', 'RLE'],
                       'im-bottom': ['-orient', 'BottomLeft']}.items():
        out = s.path(name + '.tga')
        run('convert', base, *args, 'tga:' + out)
        files[name] = read(out)
    for name, args in {'ppm-mono': ['-mono'], 'ppm-cmap': ['-cmap'],
                       'ppm-rgb': ['-rgb', '-norle'], 'ppm-rle': ['-rgb']}.items():
        out = s.path(name + '.tga')
        source = base
        if name == 'ppm-mono':
            source = s.path('tga.pgm')
            picture('L', (13, 9)).save(source)
        elif name == 'ppm-cmap':
            source = s.path('tga-cmap.ppm')
            picture('P', (13, 9)).convert('RGB').save(source)
        with open(out, 'wb') as f:
            subprocess.run(['ppmtotga', *args, source], check=True, stdout=f,
                           stderr=subprocess.DEVNULL)
        files[name] = read(out)
    for name, data in files.items():
        for flags in (0, 2):
            s.add('tga', '%s-%d.tga' % (name, flags), data, bytes([flags]))
        s.add('detect', name + '.tga', data)


def rawpixels_seeds(s):
    """Raw dumps of 8 x 5 pictures in each format, interleaved and planar."""
    sizes = {1: 1, 2: 8, 3: 8, 4: 16, 5: 24, 6: 32, 7: 32, 8: 48}
    for fmt, bits in sizes.items():
        for planar in (0, 1):
            data = bytes((i * 37) & 255 for i in range(8 * 5 * bits // 8 + 16))
            s.add('rawpixels', 'format%d-planar%d' % (fmt, planar), data,
                  bytes([fmt, 7, 4, planar | (planar << 3), 4 * planar]))


def cameraraw_seeds(s):
    """Every loader on a 32 x 24 Bayer context with a byte ramp, and the lossless JPEG loader
    on a small two-component stream (header bytes as FuzzCameraRaw reads them)."""
    ramp = bytes((x * 37 + x // 251) & 255 for x in range(8192))
    for loader in range(32):
        header = struct.pack('<BBHHBBBBH', loader, 0, 31, 23, 0, 0x12, 0, 0, 0)
        s.add('cameraraw', 'loader%02d' % loader, ramp, header)
    table = bytes([0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0]) + bytes(range(12))
    dht = b'\xff\xc4' + struct.pack('>H', 2 + 2 * (1 + len(table))) + b'\x00' + table + \
        b'\x01' + table
    sof = b'\xff\xc3' + struct.pack('>HBHHB', 14, 12, 24, 16, 2) + b'\x01\x11\x00\x02\x11\x00'
    sos = b'\xff\xda' + struct.pack('>HB', 10, 2) + b'\x01\x00\x02\x11\x01\x00\x00'
    jpeg = b'\xff\xd8' + dht + sof + sos + ramp[:2048]
    s.add('cameraraw', 'lossless', jpeg, struct.pack('<BBHHBBBBH', 3, 0, 31, 23, 0, 0x12, 0, 0, 0))


def icon_picture(size, colours, alpha):
    """A square of at most the given colours (icotool picks the depth from them): stripes of a
    palette, with transparent corners (alpha 'binary') or a transparency gradient ('gradient')."""
    palette = [((i * 97) & 255, (i * 57) & 255, (i * 31) & 255) for i in range(colours)]
    im = Image.new('RGBA', (size, size))
    im.putdata([palette[(x + y) % colours] +
                ((x * 255) // size if alpha == 'gradient' else
                 0 if min(x, y, size - 1 - x, size - 1 - y) < size // 8 else 255,)
                for y in range(size) for x in range(size)])
    return im


def ico_seeds(s):
    """Icons of every depth, PNG entries and cursors, made by icoutils."""
    kinds = {1: (2, 'binary'), 4: (15, 'binary'), 8: (200, 'binary'), 24: (4000, 'binary'),
             32: (4000, 'gradient')}
    pngs = {}
    for depth, (colours, alpha) in kinds.items():
        for size in (16, 48):
            path = s.path('ico-%d-%d.png' % (depth, size))
            icon_picture(size, min(colours, size * size), alpha).save(path)
            pngs[depth, size] = path
    cases = {'ico-%d' % d: ['--bit-depth=%d' % d, pngs[d, 16], pngs[d, 48]] for d in kinds}
    cases['ico-png'] = ['--raw=' + pngs[32, 48], pngs[8, 16]]
    cases['cur-8'] = ['--cursor', '--hotspot-x=3', '--hotspot-y=5', pngs[8, 16]]
    cases['cur-1'] = ['--cursor', '--hotspot-x=1', '--hotspot-y=2', pngs[1, 48]]
    for name, args in cases.items():
        out = s.path(name + '.ico')
        run('icotool', '-c', '-o', out, *args)
        data = read(out)
        cursor = name.startswith('cur')
        for index in (0, 1):
            s.add('ico', '%s-%d.ico' % (name, index), data, bytes([int(cursor) | index << 3]))
        s.add('detect', name + '.ico', data)


def icc_seeds(s):
    for name in ['sRGB', 'LAB', 'XYZ']:
        s.add('icc', name + '.icc', ImageCms.ImageCmsProfile(ImageCms.createProfile(name))
              .tobytes())
    for path in sorted(glob.glob('/usr/share/color/icc/**/*.ic[cm]', recursive=True)):
        if os.path.getsize(path) <= 200000:
            s.add('icc', os.path.basename(path), read(path))


def metafile_seeds(s):
    # Every scene of the metafile tests in its three encodings.
    tests = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'imaging', 'io')
    run(sys.executable, os.path.join(tests, 'make_metafiles.py'), s.path('metafiles'))
    for name in sorted(os.listdir(s.path('metafiles'))):
        s.add('metafile', name, read(os.path.join(s.path('metafiles'), name)))


def main():
    out, writer = sys.argv[1], sys.argv[2]
    for target in TARGETS:
        shutil.rmtree(os.path.join(out, target), ignore_errors=True)
        os.makedirs(os.path.join(out, target))
    with tempfile.TemporaryDirectory() as work:
        s = Seeds(out, work)
        jpeg_seeds(s)
        png_seeds(s)
        jpeg2000_seeds(s)
        tiff_seeds(s)
        bmp_seeds(s)
        gif_seeds(s)
        pnm_seeds(s)
        psd_seeds(s)
        pcx_seeds(s)
        tga_seeds(s)
        rawpixels_seeds(s)
        ico_seeds(s)
        icc_seeds(s)
        cameraraw_seeds(s)
        metafile_seeds(s)
    run(writer, out)


if __name__ == '__main__':
    main()
