#!/usr/bin/env bash
# Coverage-guided fuzzing of the readers (fuzz/targets.txt): builds the fuzz configuration in
# build/fuzz when needed (clang, libFuzzer, ASan + UBSan), makes the seeds and runs one target, or
# every target in turn, for SECONDS each (default 60) in parallel jobs (-fork; all cores unless
# SV_FUZZ_JOBS says otherwise). The corpus grows in build/fuzz/corpus/TARGET, findings land in
# build/fuzz/findings/TARGET, the fuzzer's log in build/fuzz/logs/TARGET.log.
# Usage: fuzz.sh [TARGET|all] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
wanted=${1:-all}
seconds=${2:-60}
jobs=${SV_FUZZ_JOBS:-$(nproc)}

bash "$root/scripts/setup.sh"
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSV_FUZZ=ON >/dev/null
fi
cmake --build "$build"

targets=$(awk '/^[a-z]/ {print $1}' "$root/fuzz/targets.txt")
if [ "$wanted" != all ]; then
  if ! grep -qx "$wanted" <<<"$targets"; then
    echo "fuzz.sh: no target $wanted; the targets: $(echo $targets)" >&2
    exit 2
  fi
  targets=$wanted
fi

printf '%-12s %12s %8s %6s %8s  %s\n' target executions exec/s cov corpus 'findings (oom/timeout/crash)'
for target in $targets; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  dictionary=$(awk -v t="$target" '$1 == t {print $2}' "$root/fuzz/targets.txt")
  options=()
  [ "$dictionary" != - ] && options+=("-dict=$root/fuzz/$dictionary.dict")
  "$build/fuzz/fuzz_$target" -fork="$jobs" -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 \
      -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
      -artifact_prefix="$findings/" "${options[@]}" "$corpus" "$build/seeds/$target" \
      >"$log" 2>&1 || true
  # The fork mode's status lines: "#RUNS: cov: C ft: F corp: N exec/s E oom/timeout/crash: O/T/C".
  last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1 || true)
  read -r runs cov corp found < <(awk '{sub(/^#/, "", $1); sub(/:$/, "", $1);
      print $1, $3, $7, $11}' <<<"${last:-#0: cov: 0 ft: 0 corp: 0 exec/s 0 oom/timeout/crash: 0/0/0}")
  rate=$((runs / seconds))
  printf '%-12s %12s %8s %6s %8s  %s  %s\n' "$target" "$runs" "$rate" "$cov" "$corp" "$found" \
      "$(ls "$findings" | wc -l) files in build/fuzz/findings/$target"
done
