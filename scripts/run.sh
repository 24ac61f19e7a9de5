#!/usr/bin/env bash
# Builds the viewer (Release, under build/release) and starts it with the given arguments. The
# build puts the program's data beside it: lang/, skin/ (drawn by scripts/make_skin.py) and
# default/. Only the first start installs and configures; later starts let ninja bring the build
# up to date (it re-runs CMake itself when a CMakeLists.txt changed), which takes a moment when
# nothing changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/release"

if [ ! -f "$build/build.ninja" ]; then
  if ! bash "$root/scripts/setup.sh" --run; then
    echo "run.sh: packages are missing; run: sudo bash scripts/setup.sh --run" >&2
    exit 1
  fi
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_TESTS=OFF >/dev/null
fi
ninja -C "$build" --quiet solvaneview
exec "$build/app/solvaneview" "$@"
