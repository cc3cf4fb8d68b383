#!/usr/bin/env bash
# Builds and runs the whole test suite headless under AddressSanitizer and
# UBSan (CORVANE_TEST_VARIANTS="debug asan" adds a plain debug run: the same
# tests with fewer checks, left out by default to keep CI short); then the
# tests of the recording conversion workers under ThreadSanitizer, building
# only their test programs; then the Debian
# package, built once in Release and inspected (scripts/package-test.sh).
# Exits non-zero on any failure.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

# The tree follows .clang-format; a file that does not fails the run here,
# before anything is built.
echo "== format"
bash scripts/format-check.sh || exit 1

runtime=$(mktemp -d /tmp/corvane-test-XXXXXX)
chmod 700 "$runtime"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$runtime/xdg"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export ODBCINI="$runtime/odbc.ini"
: > "$ODBCINI"
export HOME="$runtime/home"
mkdir -p "$HOME/Desktop"
export CORVANE_TEST_RUNTIME="$runtime"
# Local sockets of the single-instance rule live here, away from a running program.
export TMPDIR="$runtime/tmp"
mkdir -p "$TMPDIR"

cleanup() {
  if [ -x scripts/pg-test-server.sh ]; then scripts/pg-test-server.sh stop "$runtime" >/dev/null 2>&1 || true; fi
  rm -rf "$runtime"
}
trap cleanup EXIT

if [ -x scripts/pg-test-server.sh ]; then
  if ! eval "$(scripts/pg-test-server.sh start "$runtime")"; then
    echo "could not start the PostgreSQL test server" >&2
    exit 1
  fi
fi

status=0
passed=0
failed=0
# Adds the counts of ctest's summary line ("N% tests passed, F tests failed out of T").
count_ctest() {
  local line t f
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  t=$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + t - f))
  failed=$((failed + f))
}
for variant in ${CORVANE_TEST_VARIANTS:-asan}; do
  flags=(-DCMAKE_BUILD_TYPE=Debug)
  [ "$variant" = asan ] && flags+=(-DCORVANE_SANITIZE=ON)
  echo "== building ($variant)"
  cmake -S . -B "build/$variant" -G Ninja "${flags[@]}" >/dev/null || exit 1
  ninja -C "build/$variant" -j "$jobs" || exit 1
  echo "== testing ($variant)"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  log="$runtime/ctest-$variant.log"
  if ! (cd "build/$variant" && ctest --output-on-failure -j "$jobs") 2>&1 | tee "$log"; then
    status=1
  fi
  count_ctest "$log"
done

# ThreadSanitizer: only the tests of the two programs' conversion workers.
echo "== building (tsan: links_test, halvern_test)"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_TSAN=ON -DCORVANE_WITH_UI=OFF >/dev/null || exit 1
ninja -C build/tsan -j "$jobs" links_test halvern_test || exit 1
for run in "lumarc/links links_test VoiceConversion.*:ConversionPass.*" "halvern halvern_test RecordingConversion.*"; do
  read -r dir program filter <<<"$run"
  echo "== testing (tsan: $program $filter)"
  if (cd "build/tsan/$dir" &&
      TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
      "./$program" --gtest_filter="$filter" --gtest_brief=1); then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    status=1
  fi
done
echo "== package (Release build, lintian, validators, install as root in CI)"
if bash scripts/package-test.sh; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  status=1
fi
echo
echo "Test programs over all builds (${CORVANE_TEST_VARIANTS:-asan}, tsan, package):"
echo "$passed passed, $failed failed"
exit $status
