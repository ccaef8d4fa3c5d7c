#!/usr/bin/env bash
# Builds the host preset (benchmarks on) and the win32 preset (the installer
# that figures about installers measure), runs every benchmark program that
# reports a `ratio` counter, and prints one table: figure, ratio (median of
# the repetitions), goal, met or not. Benchmarks are never part of the tests.
#
#   scripts/bench.sh [REPETITIONS]   (default 5)
#
# A benchmark shows a goal with the user counters `ratio` and either
# `goal_at_least` or `goal_at_most`; the other benchmarks are left out. One
# that also reports `update_ceiling` (the most any decoder that counts
# symbols the plain way can reach) gets it in the ceiling column.
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}

cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
cmake --preset host >/dev/null
cmake --build --preset host >/dev/null

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

for program in build/host/*_bench; do
  [[ -x $program ]] || continue
  name=$(basename "$program")
  # Only programs with a benchmark that reports a ratio: list them first.
  grep -q 'goal_at_' "$program" || continue
  echo "running $name ..." >&2
  "$program" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$results/$name.json" --benchmark_out_format=json >/dev/null
done

python3 - "$results" <<'PY'
import json, os, sys

rows = []
for name in sorted(os.listdir(sys.argv[1])):
    with open(os.path.join(sys.argv[1], name)) as f:
        report = json.load(f)
    for b in report["benchmarks"]:
        if b.get("aggregate_name", "median") != "median" or "ratio" not in b:
            continue
        if "goal_at_least" in b:
            goal, met = "at least %.2f" % b["goal_at_least"], b["ratio"] >= b["goal_at_least"]
        elif "goal_at_most" in b:
            goal, met = "at most %.2f" % b["goal_at_most"], b["ratio"] <= b["goal_at_most"]
        else:
            continue
        # The figure's name with its argument (a corpus file, say), without
        # the run's settings.
        parts = b.get("run_name", b["name"]).split("/")
        figure = "/".join(p for p in parts
                          if not p.startswith(("iterations:", "repeats:", "threads:", "min_time:"))
                          and p not in ("manual_time", "real_time", "process_time"))
        if b.get("label"):
            figure += " (" + b["label"] + ")"
        ceiling = "%.2f" % b["update_ceiling"] if "update_ceiling" in b else ""
        rows.append((figure, "%.3f" % b["ratio"], goal, ceiling, "met" if met else "NOT met"))

header = ("figure", "ratio", "goal", "ceiling", "")
widths = [max(len(r[i]) for r in rows + [header]) for i in range(len(header))]
line = lambda r: "| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |"
print(line(header))
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for r in rows:
    print(line(r))
PY
