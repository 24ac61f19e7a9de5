#!/usr/bin/env bash
# Builds the viewer (Release, under build/release) and starts it with the given arguments. The
# build puts the program's data beside it: lang/, skin/ (drawn by scripts/make_skin.py) and
# default/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if ! bash "$root/scripts/setup.sh"; then
  echo "run.sh: packages are missing; run: sudo bash scripts/setup.sh" >&2
  exit 1
fi

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target solvaneview
exec "$build/app/solvaneview" "$@"
