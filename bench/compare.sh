#!/usr/bin/env bash
# Compares like with like: every library is called in process on pixels already in memory and
# only the call is timed, single-threaded and with all threads, best of RUNS runs (default 5).
# Ours: sv_bench_resample (which also writes the pictures as PPM); libvips (C interface,
# operation cache off, result written to memory), ImageMagick (Magick++) and libimagequant:
# sv_bench_peers; Pillow: timed in Python around the resize call. Prints ours / peer for each.
# The renderer cases are compared with QPainter's drawImage; the palette cases also print each
# result's mean absolute error per channel (0 to 255) against the picture.
#
# Usage: bash bench/compare.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
threads=$(nproc)

for tool in /usr/bin/compare /usr/bin/python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "compare.sh: $tool is missing (bash scripts/setup.sh installs it)" >&2
    exit 1
  fi
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_BENCH=ON \
      -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sv_bench_resample sv_bench_qpainter sv_bench_peers >/dev/null
"$build/bench/sv_bench_resample" "$work" "$runs" > "$work/ours.txt"
OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1 "$build/bench/sv_bench_peers" "$work" 1 "$runs" \
  > "$work/peers-1.txt"
mkdir -p "$work/all"
ln -s "$work/source.ppm" "$work/all/source.ppm"
ln -s "$work/palette-source.ppm" "$work/all/palette-source.ppm"
"$build/bench/sv_bench_peers" "$work/all" "$threads" "$runs" > "$work/peers-all.txt"
OMP_NUM_THREADS=1 /usr/bin/python3 "$root/bench/pillow_bench.py" "$work/source.ppm" "$runs" \
  > "$work/pillow.txt"

value() { awk -v n="$2" '$1 == n { print $NF }' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == "" || b <= 0) print "-"; else printf "%.2f", a / b }'; }

printf "%-18s %9s %9s %9s %9s %9s %9s %9s %9s\n" case ours_ms vips_1t ours/v1 vips_all \
  ours/vall magick_1t ours/m1 ours/mall
for name in lanczos3-1920 bilinear-1920 bicubic-1920; do
  ours=$(value "$work/ours.txt" "$name")
  v1=$(value "$work/peers-1.txt" "vips-$name")
  va=$(value "$work/peers-all.txt" "vips-$name")
  m1=$(value "$work/peers-1.txt" "magick-$name")
  ma=$(value "$work/peers-all.txt" "magick-$name")
  printf "%-18s %9.1f %9.1f %9s %9.1f %9s %9.1f %9s %9s\n" "$name" "$ours" "$v1" \
    "$(ratio "$ours" "$v1")" "$va" "$(ratio "$ours" "$va")" "$m1" "$(ratio "$ours" "$m1")" \
    "$(ratio "$ours" "$ma")"
done
for name in bilinear-1920 bicubic-1920; do
  echo "$name on every processor: ours $(value "$work/ours.txt" "$name-threads") ms," \
    "ours / vips_all $(ratio "$(value "$work/ours.txt" "$name-threads")" \
    "$(value "$work/peers-all.txt" "vips-$name")")"
done
ours_threads=$(value "$work/ours.txt" lanczos3-1920-threads)
echo "lanczos3-1920 on every processor: ours $ours_threads ms," \
  "ours / vips_all $(ratio "$ours_threads" "$(value "$work/peers-all.txt" vips-lanczos3-1920)")"
echo "ours without vector instructions: $(value "$work/ours.txt" lanczos3-1920-plain) ms" \
  "for lanczos3-1920"
fast=$(value "$work/ours.txt" fastlinear-256)
pillow=$(value "$work/pillow.txt" pillow-fastlinear-256)
echo "fastlinear-256: ours $fast ms, on every processor $(value "$work/ours.txt" \
  fastlinear-256-threads) ms, Pillow reducing gap $pillow ms, ours / Pillow $(ratio "$fast" "$pillow")"

"$build/bench/sv_bench_qpainter" "$work/source.ppm" "$runs" > "$work/qpainter.txt"
echo
printf "%-24s %10s %12s %8s\n" "render 2000x1400" ours_ms qpainter_ms ours/qp
for name in render-nearest-50 render-nearest-100 render-nearest-300 render-fastlinear-50 \
            render-fastlinear-100 render-fastlinear-300; do
  ours=$(value "$work/ours.txt" "$name")
  peer=$(value "$work/qpainter.txt" "$name")
  printf "%-24s %10.1f %12.1f %8s\n" "$name" "$ours" "$peer" "$(ratio "$ours" "$peer")"
done

# Mean absolute error per channel, in 8-bit levels.
mae() {
  /usr/bin/compare -metric MAE "$work/palette-source.ppm" "$1" null: 2>&1 |
    awk -F'[()]' '{ printf "%.2f", $2 * 255 }'
}
echo
printf "%-18s %9s %9s %9s %9s %9s %9s %9s\n" case ours_ms magick_1t ours/m1 magick_all ours/mall \
  liq_1t ours/liq1
for name in palette-256 palette-256-boxes; do
  ours=$(value "$work/ours.txt" "$name")
  m1=$(value "$work/peers-1.txt" magick-palette-256)
  ma=$(value "$work/peers-all.txt" magick-palette-256)
  l1=$(value "$work/peers-1.txt" liq-palette-256)
  printf "%-18s %9.1f %9.1f %9s %9.1f %9s %9.1f %9s\n" "$name" "$ours" "$m1" \
    "$(ratio "$ours" "$m1")" "$ma" "$(ratio "$ours" "$ma")" "$l1" "$(ratio "$ours" "$l1")"
done
echo "libimagequant with all threads: $(value "$work/peers-all.txt" liq-palette-256) ms"
pt=$(value "$work/ours.txt" palette-256-threads)
echo "palette-256 on every processor: ours $pt ms, ours / magick_all" \
  "$(ratio "$pt" "$(value "$work/peers-all.txt" magick-palette-256)")"
echo "mean error per channel: ours $(mae "$work/palette-ours.ppm")," \
  "ours with the box splitter $(mae "$work/palette-boxes.ppm")," \
  "ImageMagick $(mae "$work/palette-magick.ppm"), libimagequant $(mae "$work/palette-liq.ppm")"

# JPEG decoding: ours against a plain loop over the JPEG library in the same program (the ratio
# column), and djpeg's whole command on the same file for scale.
cmake --build "$build" --target sv_bench_jpeg >/dev/null
echo
printf "%-22s %12s %10s %10s\n" "jpeg 6000x4000 4:2:0" size ms ours/peer
"$build/bench/sv_bench_jpeg" "$work" "$runs" |
  awk '{ printf "%-22s %12s %10.1f %10s\n", $1, $2, $3, ($4 == "" ? "-" : $4) }'
