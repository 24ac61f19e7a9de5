#!/usr/bin/env bash
# Installs what is missing, builds the test configuration (ASan + UBSan) and runs every test.
# The exit code is the suite's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/setup.sh"

build="$root/build/test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSV_SANITIZE=ON \
      -DSV_BUILD_TESTS=ON >/dev/null
cmake --build "$build"

export QT_QPA_PLATFORM=offscreen
# A missing reference tool fails its tests here instead of skipping them.
export SV_REQUIRE_REFERENCE_TOOLS=1
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 300
