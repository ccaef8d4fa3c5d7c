#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang with ASan and UBSan) and
# runs each for SECONDS (default 60), one after the other:
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# A target runs on fuzz/corpus/<target> (read only: the seeds and every input
# that once broke something) and writes what it finds new to
# build/fuzz/corpus/<target>. An input that crashes a target lands in
# build/fuzz/crashes/<target>/ and the script fails; minimise it with
# `build/fuzz/fuzz_<target> -minimize_crash=1 INPUT`, fix the fault, and add
# the input to fuzz/corpus/<target> so that ctest replays it from then on.
# Each target's last lines and its statistics go to build/fuzz/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=("$@")
if ((${#targets[@]} == 0)); then
  for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi

for target in "${targets[@]}"; do
  program=build/fuzz/fuzz_$target
  work=build/fuzz/corpus/$target
  crashes=build/fuzz/crashes/$target
  log=build/fuzz/$target.log
  mkdir -p "$work" "$crashes"
  echo "== $target: ${seconds} s"
  if ! "$program" -max_total_time="$seconds" -timeout=120 -print_final_stats=1 \
      -artifact_prefix="$crashes/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz: $target found a fault; the input is in $crashes/" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" |
    sed "s/^/  /"
done
