#!/usr/bin/env bash
# The CTest run of one fuzz target: its seeds, then RUNS new inputs, under the limits a user's
# machine would set. New inputs go to a scratch corpus of their own, so the seeds stay as made.
# Usage: run_seeds.sh PROGRAM SEEDS RUNS [-dict=FILE]
set -euo pipefail
program=$1 seeds=$2 runs=$3
shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$program" -runs="$runs" -seed=1 -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$scratch/" "$@" "$scratch" "$seeds"
