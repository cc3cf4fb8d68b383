#!/usr/bin/env bash
# Runs every benchmark program, then prints one summary table of all their
# figures. A benchmark prints one figure a line:
#   name: value unit
#   name: value unit (baseline: other_name)
# The second form measures name against the figure other_name of the same
# run; the table shows both and the ratio value / baseline. Lines that do
# not start with a number after the colon (skipped parts) are shown as
# they are.
set -euo pipefail
build=${1:-build/release}
found=0
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  found=1
  bench=$(basename "$b")
  echo "# $bench" | tee -a "$out"
  "$b" | tee -a "$out"
done
[ "$found" = 1 ] || { echo "no benchmarks built"; exit 0; }

echo
echo "== summary (ratio = value / baseline, same run)"
awk '
  /^# / { bench = $2; next }
  {
    colon = index($0, ": ")
    if (colon == 0) next
    name = substr($0, 1, colon - 1)
    if (name !~ /^[A-Za-z0-9_.]+$/) next  # continuation of a message, not a figure
    rest = substr($0, colon + 2)
    n++; names[n] = name; owner[n] = bench
    split(rest, f, " ")
    if (f[1] ~ /^-?[0-9.]+([eE][-+]?[0-9]+)?$/) {
      value[name] = f[1] + 0; shown[n] = f[1]; unit[n] = f[2]
    } else {
      shown[n] = rest; unit[n] = ""
    }
    base[n] = ""
    if (match(rest, /\(baseline: [A-Za-z0-9_]+\)/))
      base[n] = substr(rest, RSTART + 11, RLENGTH - 12)
  }
  END {
    for (i = 1; i <= n; i++) if (base[i] != "") isbase[base[i]] = 1
    printf "%-16s %-44s %14s %-10s %-40s %14s %8s\n", "benchmark", "figure", "value", "unit", "baseline", "baseline value", "ratio"
    for (i = 1; i <= n; i++) {
      b = base[i]; bv = "-"; r = "-"
      if (b != "" && (b in value)) {
        bv = sprintf("%.6g", value[b])
        if (value[b] != 0 && (names[i] in value)) r = sprintf("%.3f", value[names[i]] / value[b])
      } else if (b != "") {
        bv = "missing"
      } else if (names[i] in isbase) {
        b = "(is a baseline)"
      } else {
        b = "-"
      }
      printf "%-16s %-44s %14s %-10s %-40s %14s %8s\n", owner[i], names[i], shown[i], unit[i], b, bv, r
    }
  }' "$out"
