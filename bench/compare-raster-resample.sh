#!/usr/bin/env bash
# Times the raster library's TKernelResampler + TLanczosKernel and TLinearResampler against
# Pillow's resize with LANCZOS and BILINEAR on the same 24-megapixel pixels reduced to 1920 px
# wide (both timed in-process around the resample only) and prints a table of ratios
# ours / Pillow. Each time is the best of RUNS runs (default 3).
#
# Usage: bash bench/compare-raster-resample.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
build="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  echo "compare-raster-resample.sh: python3 with Pillow is missing (bash scripts/setup.sh installs it)" >&2
  exit 1
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_BENCH=ON \
      -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sv_bench_raster_resample >/dev/null
"$build/bench/sv_bench_raster_resample" "$work" "$runs" > "$work/ours.txt"
/usr/bin/python3 "$root/bench/raster_resample_peer.py" "$work" "$runs" > "$work/pillow.txt"

printf "%-24s %10s %12s %10s\n" "6000x4000 -> 1920x1280" ours_ms pillow_ms ours/pil
for pair in kernel-lanczos:lanczos linear:bilinear; do
  name=${pair%%:*}
  peer_name=${pair##*:}
  ours=$(awk -v n="$name" '$1 == n { print $3 }' "$work/ours.txt")
  peer=$(awk -v n="$peer_name" '$1 == n { print $3 }' "$work/pillow.txt")
  printf "%-24s %10.2f %12.2f %10s\n" "$name" "$ours" "$peer" \
    "$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.2f", a / b }')"
done
