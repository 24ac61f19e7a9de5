#!/usr/bin/env bash
# Runs the benchmark program and the same work with the peers, single-threaded, on the same
# pixels (written once as PPM by the benchmark), and prints tables of ratios ours / peer. Each time
# is the best of RUNS runs (default 5). Resampling is compared with libvips and ImageMagick; the
# renderer cases with QPainter's drawImage on the same pixels, both timed inside their programs;
# the reduction of a 12-megapixel picture to 256 palette colours without dithering with
# ImageMagick ("+dither -colors 256") and pngquant ("--nofs 256"), together with each result's mean
# absolute error per channel (0 to 255) against the picture.
#
# A peer's time is that of the whole command: start-up, reading the file, resampling, writing the
# result. The "net" columns subtract a baseline so that they compare resampling alone: for
# ImageMagick the start-up and read of the same file into its pixel cache (a command that reads
# every pixel and writes nothing); for libvips, which maps its own file format and reads only
# what the resize asks for, its start-up on a 16 x 16 picture.
#
# Usage: bash bench/compare.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in vips /usr/bin/convert /usr/bin/compare pngquant; do
  if ! command -v "$tool" >/dev/null; then
    echo "compare.sh: $tool is missing (bash scripts/setup.sh installs it)" >&2
    exit 1
  fi
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_BENCH=ON \
      -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sv_bench_resample sv_bench_qpainter >/dev/null
"$build/bench/sv_bench_resample" "$work" "$runs" > "$work/ours.txt"

# libvips reads its own format by mapping the file, so the PPM is converted once and not timed.
export VIPS_CONCURRENCY=1
vips copy "$work/source.ppm" "$work/source.v"
vips copy "$work/crop.ppm" "$work/crop.v"
vips black "$work/tiny.v" 16 16 --bands 3
magick=(/usr/bin/convert -limit thread 1)

# Best wall time of a command over $runs runs, in ms.
best_ms() {
  local best=""
  for _ in $(seq "$runs"); do
    local start end ms
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

vips_start=$(best_ms vips avg "$work/tiny.v")
magick_read_source=$(best_ms "${magick[@]}" "$work/source.ppm" null:)
magick_read_crop=$(best_ms "${magick[@]}" "$work/crop.ppm" null:)

# case name | vips arguments | vips read baseline | ImageMagick arguments | ImageMagick baseline
cases=(
  "fastlinear-85|resize $work/source.v $work/out.v 0.0141666667 --kernel linear|$vips_start|$work/source.ppm -filter Triangle -resize 85x57! $work/out.ppm|$magick_read_source"
  "fastlinear-1920|resize $work/source.v $work/out.v 0.32 --kernel linear|$vips_start|$work/source.ppm -filter Triangle -resize 1920x1280! $work/out.ppm|$magick_read_source"
  "fastlinear-2x-crop|resize $work/crop.v $work/out.v 2 --kernel linear|$vips_start|$work/crop.ppm -filter Triangle -resize 2000x1400! $work/out.ppm|$magick_read_crop"
  "lanczos3-1920|resize $work/source.v $work/out.v 0.32 --kernel lanczos3|$vips_start|$work/source.ppm -filter Lanczos -resize 1920x1280! $work/out.ppm|$magick_read_source"
)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b <= 0) print "-"; else printf "%.2f", a / b }'; }

printf "%-20s %10s %10s %8s %8s %12s %8s %8s\n" case ours_ms vips_ms ours/vips net \
  magick_ms ours/im net
for entry in "${cases[@]}"; do
  IFS='|' read -r name vips_args vips_base magick_args magick_base <<<"$entry"
  ours=$(awk -v n="$name" '$1 == n { print $3 }' "$work/ours.txt")
  # shellcheck disable=SC2086
  vips_ms=$(best_ms vips $vips_args)
  # shellcheck disable=SC2086
  magick_ms=$(best_ms "${magick[@]}" $magick_args)
  printf "%-20s %10.1f %10d %8s %8s %12d %8s %8s\n" "$name" "$ours" "$vips_ms" \
    "$(ratio "$ours" "$vips_ms")" "$(ratio "$ours" $((vips_ms - vips_base)))" "$magick_ms" \
    "$(ratio "$ours" "$magick_ms")" "$(ratio "$ours" $((magick_ms - magick_base)))"
done
echo
echo "ours without vector instructions: $(awk '$1 == "lanczos3-1920-plain" { print $3 }' \
  "$work/ours.txt") ms for lanczos3-1920"
echo "ours on every processor: $(awk '$1 == "lanczos3-1920-threads" { print $3 }' \
  "$work/ours.txt") ms for lanczos3-1920"
echo "baselines (ms): vips start-up $vips_start," \
  "ImageMagick start-up and read $magick_read_source (source) / $magick_read_crop (crop)"

"$build/bench/sv_bench_qpainter" "$work/source.ppm" "$runs" > "$work/qpainter.txt"
echo
printf "%-24s %10s %12s %8s\n" "render 2000x1400" ours_ms qpainter_ms ours/qp
for name in render-nearest-50 render-nearest-100 render-nearest-300 render-fastlinear-50 \
            render-fastlinear-100 render-fastlinear-300; do
  ours=$(awk -v n="$name" '$1 == n { print $3 }' "$work/ours.txt")
  peer=$(awk -v n="$name" '$1 == n { print $3 }' "$work/qpainter.txt")
  printf "%-24s %10.1f %12.1f %8s\n" "$name" "$ours" "$peer" "$(ratio "$ours" "$peer")"
done
# Palette reduction. pngquant reads PNG only: the picture is converted once, untimed; its time
# includes decoding and encoding PNG, which ImageMagick's baseline (start-up and reading the PPM)
# does not cover.
convert "$work/palette-source.ppm" "$work/palette-source.png"
magick_read_photo=$(best_ms "${magick[@]}" "$work/palette-source.ppm" null:)
magick_palette=$(best_ms "${magick[@]}" "$work/palette-source.ppm" +dither -colors 256 \
  "$work/palette-magick.ppm")
pngquant_palette=$(best_ms env OMP_NUM_THREADS=1 pngquant --nofs --force \
  --output "$work/palette-pngquant.png" 256 "$work/palette-source.png")
# Mean absolute error per channel, in 8-bit levels.
mae() {
  /usr/bin/compare -metric MAE "$work/palette-source.ppm" "$1" null: 2>&1 |
    awk -F'[()]' '{ printf "%.2f", $2 * 255 }'
}

echo
printf "%-20s %10s %10s %8s %8s %12s %8s\n" case ours_ms magick_ms ours/im net pngquant_ms \
  ours/pq
for name in palette-256 palette-256-boxes; do
  ours=$(awk -v n="$name" '$1 == n { print $3 }' "$work/ours.txt")
  printf "%-20s %10.1f %10d %8s %8s %12d %8s\n" "$name" "$ours" "$magick_palette" \
    "$(ratio "$ours" "$magick_palette")" "$(ratio "$ours" $((magick_palette - magick_read_photo)))" \
    "$pngquant_palette" "$(ratio "$ours" "$pngquant_palette")"
done
echo "mean error per channel: ours $(mae "$work/palette-ours.ppm")," \
  "ours with the box splitter $(mae "$work/palette-boxes.ppm")," \
  "ImageMagick $(mae "$work/palette-magick.ppm"), pngquant $(mae "$work/palette-pngquant.png")"
echo "baseline (ms): ImageMagick start-up and read $magick_read_photo (palette source)"
