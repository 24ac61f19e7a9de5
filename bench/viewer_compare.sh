#!/usr/bin/env bash
# Times the viewer (Release build, fresh settings, strip off) against qimgv on an Xvfb screen of
# 1920 x 1080 without a window manager, in the same run: the median of RUNS launches from start
# to the first frame showing the picture, and of RUNS next-picture steps (each viewer's own key,
# sent with xdotool) to the frame showing the other picture. The two pictures are 24-megapixel
# JPEGs (quality 92) with large solid marker areas of different colours, watched on the screen by
# bench/viewer_compare.py. Prints both, and ours / qimgv (the aim is at most 1).
#
# Usage: bash bench/viewer_compare.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build="$root/build/bench"
work=$(mktemp -d)
xvfb=
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

for tool in Xvfb xdotool qimgv convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "viewer_compare.sh: $tool is missing (bash scripts/setup.sh installs it)" >&2
    exit 1
  fi
done
if ! /usr/bin/python3 -c 'import Xlib' 2>/dev/null; then
  echo "viewer_compare.sh: python3-xlib is missing (bash scripts/setup.sh installs it)" >&2
  exit 1
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_BENCH=ON \
      -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target solvaneview -j 3 >/dev/null
viewer=$(find "$build" -name solvaneview -type f -perm -u+x | head -n 1)

# A grey ramp with noise (so that decoding does real work) around a solid marker in the middle
# 60 % of the picture: green on the first, magenta on the second.
for spec in "1:#00C800" "2:#C800C8"; do
  convert -size 6000x4000 gradient:gray25-gray75 -seed 1 -attenuate 0.4 +noise Gaussian -type TrueColor \
          -fill "${spec#*:}" -draw "rectangle 1200,800 4800,3200" -quality 92 \
          "$work/${spec%%:*}.jpg"
done

# Xvfb picks a free display number and writes it to the file.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1920x1080x24 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 600); do
  grep -q . "$work/display" 2>/dev/null && break
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$work/display")"

/usr/bin/python3 "$root/bench/viewer_compare.py" solvaneview Next Prior "$runs" \
  "$work/1.jpg" "$work/2.jpg" -- "$viewer" > "$work/ours.txt"
/usr/bin/python3 "$root/bench/viewer_compare.py" qimgv Right Left "$runs" \
  "$work/1.jpg" "$work/2.jpg" -- qimgv > "$work/qimgv.txt"

printf "%-8s %12s %12s %7s\n" case ours-ms qimgv-ms ratio
for case in launch next; do
  ours=$(awk -v c="$case" '$2 == c { print $3 }' "$work/ours.txt")
  peer=$(awk -v c="$case" '$2 == c { print $3 }' "$work/qimgv.txt")
  printf "%-8s %12s %12s %7.2f\n" "$case" "$ours" "$peer" \
    "$(awk -v a="$ours" -v b="$peer" 'BEGIN { print a / b }')"
done
