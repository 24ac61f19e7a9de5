#!/usr/bin/env bash
# Installs what is missing, builds the test configuration (ASan + UBSan) and runs every test.
# Then builds the fuzz configuration and runs each fuzz target briefly. The exit code is the
# suite's, or the fuzz run's when only that fails.
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
status=0
ctest --output-on-failure -j "$(nproc)" --timeout 300 || status=$?

# The fuzz configuration (clang, libFuzzer, build/fuzz): every fuzz target over its seeds and a
# bounded number of new inputs.
fuzz="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DSV_FUZZ=ON >/dev/null
cmake --build "$fuzz"
(cd "$fuzz" && ctest --output-on-failure -j "$(nproc)" --timeout 600) || status=$?
exit "$status"
