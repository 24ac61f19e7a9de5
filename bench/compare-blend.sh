#!/usr/bin/env bash
# Times the raster library's MergeLine and BlendLineEx against Pillow's Image.alpha_composite on
# the same 1920 x 1080 pixels of mixed alpha (both timed in-process around the work only, one
# thread) and prints a table of ratios ours / Pillow. Each time is the best of RUNS runs
# (default 5).
#
# Usage: bash bench/compare-blend.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  echo "compare-blend.sh: python3 with Pillow is missing (bash scripts/setup.sh installs it)" >&2
  exit 1
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_BENCH=ON \
      -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sv_bench_blend >/dev/null
"$build/bench/sv_bench_blend" "$work" "$runs" > "$work/ours.txt"
/usr/bin/python3 "$root/bench/blend_peer.py" "$work" "$runs" > "$work/pillow.txt"

peer=$(awk '$1 == "alpha-composite" { print $3 }' "$work/pillow.txt")
printf "%-20s %10s %12s %10s\n" "1920x1080 mixed alpha" ours_ms pillow_ms ours/pil
for name in merge-line blend-line-ex blend-line-ex-c0; do
  ours=$(awk -v n="$name" '$1 == n { print $3 }' "$work/ours.txt")
  printf "%-20s %10.2f %12.2f %10s\n" "$name" "$ours" "$peer" \
    "$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.2f", a / b }')"
done
