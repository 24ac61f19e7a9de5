#!/usr/bin/env bash
# Times TVistrelProc::Rotate of a 24-megapixel picture (sv_bench_rotate) and Pillow's transpose
# and rotate of the same pixels, both timed inside their programs around the call, single
# threaded, and prints the ratio ours / Pillow of each case from the same run. Ours without a
# peer (the undo entry, the shears) show no ratio; the shears compare best with Pillow's bilinear.
#
# Usage: bash bench/rotate_compare.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
build="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  echo "rotate_compare.sh: /usr/bin/python3 with Pillow is missing (bash scripts/setup.sh installs it)" >&2
  exit 1
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_BENCH=ON \
      -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sv_bench_rotate -j 4 >/dev/null
"$build/bench/sv_bench_rotate" "$work" "$runs" > "$work/ours.txt"
/usr/bin/python3 "$root/bench/pil_rotate.py" "$work/source.ppm" "$runs" > "$work/pil.txt"

printf "%-18s %12s %10s %12s %10s %7s\n" case ours-size ours-ms pil-size pil-ms ratio
while read -r name size ms; do
  peer=$(awk -v n="$name" '$1 == n { print $2, $3 }' "$work/pil.txt")
  if [ -z "$peer" ] && [ "$name" = rotate90-undo ]; then
    peer=$(awk '$1 == "rotate90" { print $2, $3 }' "$work/pil.txt")
  fi
  if [ -z "$peer" ]; then
    printf "%-18s %12s %10s %12s %10s %7s\n" "$name" "$size" "$ms" - - -
  else
    read -r psize pms <<< "$peer"
    printf "%-18s %12s %10s %12s %10s %7.2f\n" "$name" "$size" "$ms" "$psize" "$pms" \
      "$(awk -v a="$ms" -v b="$pms" 'BEGIN { print a / b }')"
  fi
done < "$work/ours.txt"
