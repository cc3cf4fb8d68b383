#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (FUZZ_SECONDS, default 60), printing executions and findings per target.
# Findings are kept in <build>/findings/<target>/.
#   FUZZ_SECONDS  seconds per target (default 60)
#   FUZZ_TARGETS  only these targets, e.g. "cmdr_link voice_link" (default all)
#   FUZZ_BUILD    build tree (default build/fuzz)
#   FUZZ_JOBS     parallel build jobs (default: the number of processors)
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${FUZZ_SECONDS:-60}
only=${FUZZ_TARGETS:-}
build=${FUZZ_BUILD:-build/fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVANE_FUZZ=ON -DCORVANE_WITH_UI=OFF -DCORVANE_TESTS=OFF >/dev/null || exit 1
# Only the fuzz programs (and the libraries they use), not the whole tree.
targets=$(for f in fuzz/fuzz_*.cpp; do
  name=$(basename "$f" .cpp)
  if [ -z "$only" ] || grep -qw "${name#fuzz_}" <<<"$only"; then echo "$name"; fi
done)
ninja -C "$build" -j "${FUZZ_JOBS:-$(nproc)}" $targets || exit 1
status=0
printf '%-28s %12s %10s\n' target executions findings
for name in $targets; do
  exe=$build/fuzz/$name
  [ -x "$exe" ] || continue
  short=${name#fuzz_}
  corpus="$build/corpus/$short"; findings="$build/findings/$short"
  mkdir -p "$corpus" "$findings"
  seeds="fuzz/corpus/$short"; [ -d "$seeds" ] || seeds=
  log="$build/$short.log"
  "$exe" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    "$corpus" $seeds >"$log" 2>&1
  rc=$?
  execs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  found=$(find "$findings" -type f | wc -l)
  printf '%-28s %12s %10s\n' "$short" "${execs:-?}" "$found"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then status=1; tail -n 30 "$log"; fi
done
exit $status
