#!/usr/bin/env bash
# Runs every benchmark program; each prints "name: value unit" lines.
set -euo pipefail
build=${1:-build/release}
found=0
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  found=1
  "$b"
done
[ "$found" = 1 ] || echo "no benchmarks built"
