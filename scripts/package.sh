#!/usr/bin/env bash
# Builds the Debian package: a Release build of the installed programs in
# BUILD_DIR (default build/package), packed by CPack; the .deb is copied to
# OUT_DIR (default build) and its path printed on the last line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/package}
out=${2:-$top/build}
jobs=${JOBS:-$(nproc)}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF -DCORVANE_FUZZ=OFF -DCORVANE_SANITIZE=OFF -DCORVANE_TSAN=OFF >/dev/null
ninja -C "$build" -j "$jobs" --quiet
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
mkdir -p "$out"
cp "$deb" "$out/"
echo "$out/$(basename "$deb")"
