#!/bin/bash
# Makes the PNM, WBMP and raw pixel fixtures in the folder $1 with netpbm and ImageMagick.
#
# PNM: a grey ramp and a plasma picture at maxval 1, 15, 255 and 65535, raw and plain, and a
# bilevel ramp; each file X has X.ref, netpbm's reading of it as a plain 8-bit pixmap, and
# pnm.txt lists the files. WBMP: ramp.wbmp from pbmtowbmp. Raw pixels: dumps of the picture
# (picture.ppm) and the ramp (ramp.pgm) in the layouts raw.txt lists as
# "file format header rowalign planar bgr source depth": header bytes of 0x5A come first and
# rows are padded with 0xA5.
set -euo pipefail
out="$1"
cd "$out"

pgmramp -lr 37 23 > ramp.pgm
convert -size 37x23 -seed 7 plasma:fractal -depth 8 ppm:picture.ppm
pgmtopbm -threshold ramp.pgm > ramp.pbm 2> /dev/null

: > pnm.txt
reference() {
    ppmtoppm < "$1" | pnmdepth 255 | pnmtoplainpnm > "$1.ref"
    echo "$1" >> pnm.txt
}
for source in ramp.pgm picture.ppm; do
    stem="${source%.*}"
    ext="${source##*.}"
    for depth in 1 15 255 65535; do
        raw="$stem-$depth.$ext"
        pnmdepth "$depth" "$source" | pamtopnm > "$raw"
        pnmtoplainpnm "$raw" > "$stem-$depth-plain.$ext"
        reference "$raw"
        reference "$stem-$depth-plain.$ext"
    done
done
pnmtoplainpnm ramp.pbm > ramp-plain.pbm
reference ramp.pbm
reference ramp-plain.pbm

pbmtowbmp ramp.pbm > ramp.wbmp

convert picture.ppm rgb:picture.rgb
convert picture.ppm bgr:picture.bgr
convert picture.ppm -interlace plane rgb:picture-planar.rgb
convert picture.ppm -depth 16 -endian LSB rgb:picture.rgb16
convert picture.ppm -depth 16 -endian LSB bgr:picture.bgr16
convert picture.ppm -depth 16 -endian LSB -interlace plane rgb:picture-planar.rgb16
convert picture.ppm cmyk:picture.cmyk
convert picture.ppm -interlace plane cmyk:picture-planar.cmyk
convert ramp.pgm gray:ramp.gray
convert ramp.pgm -depth 16 -endian LSB gray:ramp.gray16

# A copy of $1 with a header of $3 bytes and rows of $4 bytes padded to a multiple of $5 bits.
python3 - << 'PY'
def framed(source, target, header, row, align):
    data = open(source, "rb").read()
    stored = (row * 8 + align - 1) // align * align // 8
    rows = [data[i:i + row] + b"\xa5" * (stored - row) for i in range(0, len(data), row)]
    open(target, "wb").write(b"\x5a" * header + b"".join(rows))

framed("picture.rgb", "picture-framed.rgb", 10, 37 * 3, 32)
framed("picture.rgb16", "picture-framed.rgb16", 3, 37 * 6, 64)
framed("ramp.gray", "ramp-framed.gray", 7, 37, 32)
PY

cat > raw.txt << 'LIST'
picture.rgb 24 0 8 0 0 picture 8
picture.bgr 24 0 8 0 1 picture 8
picture-planar.rgb 24 0 8 1 0 picture 8
picture-framed.rgb 24 10 32 0 0 picture 8
picture.rgb16 48 0 8 0 0 picture 16
picture.bgr16 48 0 8 0 1 picture 16
picture-planar.rgb16 48 0 8 1 0 picture 16
picture-framed.rgb16 48 3 64 0 0 picture 16
ramp.gray 8 0 8 0 0 ramp 8
ramp-framed.gray 8 7 32 0 0 ramp 8
ramp.gray16 16 0 8 0 0 ramp 16
LIST
