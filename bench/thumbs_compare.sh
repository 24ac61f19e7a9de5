#!/usr/bin/env bash
# Fills the thumbnail strip for a folder of generated 12-megapixel JPEGs (sv_bench_thumbs: from
# the refill to the decoder's finish) and runs Pillow's thumbnail((85, 85)) over the same files
# in one loop (bench/pil_thumbs.py), both timed in-process, and prints the ratio ours / Pillow.
# The pictures (4000 x 3000, quality 90, each one different) are made once into a temporary
# folder, removed at the end.
#
# Usage: bash bench/thumbs_compare.sh [COUNT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-100}
build="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  echo "thumbs_compare.sh: /usr/bin/python3 with Pillow is missing (bash scripts/setup.sh installs it)" >&2
  exit 1
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_BENCH=ON \
      -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sv_bench_thumbs -j 3 >/dev/null

/usr/bin/python3 - "$work" "$count" <<'PY'
import sys
from PIL import Image, ImageChops

folder, count = sys.argv[1], int(sys.argv[2])
width, height = 4000, 3000
noise = Image.effect_noise((width, height), 40)
base = Image.merge("RGB", (
    Image.linear_gradient("L").resize((width, height)),
    ImageChops.add(noise, Image.radial_gradient("L").resize((width, height)), scale=2),
    noise.transpose(Image.Transpose.FLIP_LEFT_RIGHT),
))
for i in range(count):
    ImageChops.offset(base, i * 37, i * 23).save(f"{folder}/pic{i:03d}.jpg", quality=90)
PY

QT_QPA_PLATFORM=offscreen "$build/bench/sv_bench_thumbs" "$work" > "$work/ours.txt"
/usr/bin/python3 "$root/bench/pil_thumbs.py" "$work" > "$work/pil.txt"

read -r _ n made ms < "$work/ours.txt"
read -r _ pn pmade pms < "$work/pil.txt"
printf "%-8s %6s %6s %10s\n" who files made ms
printf "%-8s %6s %6s %10s\n" ours "$n" "$made" "$ms"
printf "%-8s %6s %6s %10s\n" pillow "$pn" "$pmade" "$pms"
printf "ratio ours / pillow: %.2f\n" "$(awk -v a="$ms" -v b="$pms" 'BEGIN { print a / b }')"
