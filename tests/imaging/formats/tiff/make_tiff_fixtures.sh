#!/usr/bin/env bash
# Makes the TIFF reader's fixtures in folder $1: pictures drawn by ImageMagick's convert, passed
# through libtiff's tiffcp with every compression and layout, and bilevel pages. Each
# line of $1/list names a fixture. Exits non-zero when a tool fails.
set -euo pipefail
out=$1
cd "$out"
: > list

# A colour picture with smooth and sharp edges, of an odd size so that tiles overhang.
convert -size 37x23 gradient:'#f03010-#1060e0' -fill '#20c040' -draw 'circle 18,11 24,15' \
        -fill white -draw 'rectangle 2,2 8,6' rgb.png
convert -size 37x23 gradient:white-black -fill white -draw 'circle 18,11 24,15' grey.png
convert -size 200x40 xc:white -fill black -draw 'circle 60,20 75,30' -draw 'rectangle 120,5 190,12' \
        bilevel.png

add() { # name, then the command that writes it
    local name=$1; shift
    "$@"
    echo "$name" >> list
}

convert rgb.png -depth 8 -type TrueColor -compress none rgb8.tif
convert grey.png -depth 8 -type Grayscale -compress none grey8.tif
for c in none lzw lzw:2 zip zip:2 packbits; do
    n=${c/:/_}
    add "rgb-$n.tif" tiffcp -c "$c" -r 5 rgb8.tif "rgb-$n.tif"
    add "rgb-$n-planar.tif" tiffcp -c "$c" -r 7 -p separate rgb8.tif "rgb-$n-planar.tif"
    add "grey-$n.tif" tiffcp -c "$c" -r 4 grey8.tif "grey-$n.tif"
done
add rgb-bigendian-lzw.tif tiffcp -B -c lzw:2 -r 3 rgb8.tif rgb-bigendian-lzw.tif
add rgb-tiles.tif tiffcp -c zip -t -w 16 -l 16 rgb8.tif rgb-tiles.tif
add rgb-tiles-none.tif tiffcp -c none -t -w 16 -l 16 rgb8.tif rgb-tiles-none.tif
add grey-tiles.tif tiffcp -c lzw -t -w 16 -l 16 grey8.tif grey-tiles.tif
add rgb-jpeg.tif tiffcp -c jpeg -r 16 rgb8.tif rgb-jpeg.tif
add rgb-jpeg-rgb.tif tiffcp -c jpeg:r -r 16 rgb8.tif rgb-jpeg-rgb.tif
add rgb-jpeg-tiles.tif tiffcp -c jpeg -t -w 16 -l 16 rgb8.tif rgb-jpeg-tiles.tif
add grey-jpeg.tif tiffcp -c jpeg -r 16 grey8.tif grey-jpeg.tif

add grey-minwhite.tif convert grey.png -depth 8 -type Grayscale \
    -define tiff:photometric=min-is-white -compress lzw grey-minwhite.tif
add grey4.tif convert grey.png -depth 4 -type Grayscale -compress none grey4.tif
add grey2.tif convert grey.png -depth 2 -type Grayscale -compress none grey2.tif
add grey16.tif convert grey.png -depth 16 -type Grayscale -compress zip grey16.tif
add rgb16.tif convert rgb.png -depth 16 -type TrueColor -compress lzw rgb16.tif
add palette8.tif convert rgb.png -type Palette -colors 200 -depth 8 -compress lzw palette8.tif
add palette4.tif convert rgb.png -type Palette -colors 12 -depth 4 -compress none palette4.tif
add rgba.tif convert rgb.png -alpha set -channel A -fx 'i/w' +channel -depth 8 \
    -define tiff:alpha=unassociated -compress zip rgba.tif
add greya.tif convert grey.png -alpha set -channel A -fx 'j/h' +channel -type GrayscaleAlpha \
    -depth 8 -compress none greya.tif
add cmyk.tif convert rgb.png -colorspace CMYK -depth 8 -compress lzw cmyk.tif
add cmyk-planar.tif tiffcp -p separate -c packbits cmyk.tif cmyk-planar.tif
add lab.tif convert rgb.png -colorspace Lab -depth 8 -compress none lab.tif

convert bilevel.png -type Bilevel -depth 1 -define tiff:photometric=min-is-white -compress none bilevel.tif
for c in none packbits g3:1d g3:2d g4 lzw; do
    n=${c/:/_}
    add "bilevel-$n.tif" tiffcp -c "$c" -r 9 bilevel.tif "bilevel-$n.tif"
    add "bilevel-$n-lsb.tif" tiffcp -c "$c" -f lsb2msb -r 9 bilevel.tif "bilevel-$n-lsb.tif"
done
add bilevel-minblack.tif convert bilevel.png -type Bilevel -depth 1 -define tiff:photometric=min-is-black \
    -compress none bilevel-minblack.tif
add bilevel-minblack-g4.tif tiffcp -c g4 bilevel-minblack.tif bilevel-minblack-g4.tif
add bilevel-minblack-g3.tif tiffcp -c g3:2d bilevel-minblack.tif bilevel-minblack-g3.tif
# Bilevel tiles: 197 columns leave 5 in the last tile, so rows end inside a byte of the bitmap.
convert bilevel.png -crop 197x40+0+0 +repage -type Bilevel -depth 1 \
    -define tiff:photometric=min-is-white -compress none bilevel-odd.tif
add bilevel-g4-tiles.tif tiffcp -c g4 -t -w 16 -l 16 bilevel-odd.tif bilevel-g4-tiles.tif
add bilevel-g3-tiles-lsb.tif tiffcp -c g3:2d -f lsb2msb -t -w 32 -l 16 bilevel-odd.tif \
    bilevel-g3-tiles-lsb.tif
add bilevel-minblack-tiles.tif tiffcp -c packbits -t -w 16 -l 16 bilevel-minblack.tif \
    bilevel-minblack-tiles.tif
add multi.tif tiffcp rgb-lzw.tif grey-zip.tif bilevel-g4.tif multi.tif
