#!/usr/bin/env bash
# Soak under faults (not part of CI): one `lumarc-cli collect` process runs a
# CMDR, a monitor and a voice link against three corvane-sim roles on
# 127.0.0.1 for SOAK_SECONDS (default 600) with random faults: a dropped
# CMDR line in the middle of a batch (when the run is long enough for the
# 300 s reconnection), CMDR frames in odd pieces, lost, corrupted, repeated
# and foreign monitor records, lost, stale and duplicate voice replies, and
# a database that refuses a random share of Cdata inserts and Pdata updates
# (triggers). As root, in runs long enough for the reconnection, the working
# folder is a small tmpfs (in a private mount namespace) that fills up for a
# while instead of the dropped line: the collector must keep what it cannot
# store nowhere unacknowledged, say the disk is full, reconnect and store it.
# Then it checks that every record the simulators sent and had acknowledged
# is kept exactly once (call records in Cdata or in fcmdr.txt), that every
# recording arrived whole and was converted to MP3 (the same MP3
# `lumarc-cli convert` makes of the simulator's own file), and that the
# collect process's memory stayed flat; prints the figures.
#   SOAK_SECONDS  run length (default 600)
#   SOAK_SEED     random seed (default: the time)
#   SOAK_BUILD    build tree holding tools/lumarc-cli and tools/corvane-sim
#                 (default: build/soak, configured and built here)
#   SOAK_KEEP=1   keep the working folder
#   SOAK_FULL_DISK=0  no full-disk phase
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${SOAK_BUILD:-}
if [ -z "$build" ]; then
  build=build/soak
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WITH_UI=OFF -DCORVANE_TESTS=OFF \
    >/dev/null || exit 1
  ninja -C "$build" -j "$(nproc)" lumarc-cli corvane-sim || exit 1
fi
export SOAK_CLI="$build/tools/lumarc-cli" SOAK_SIM="$build/tools/corvane-sim"
# As root the tmpfs of the full-disk phase is mounted in a private mount
# namespace, so that it cannot outlive the run.
if [ "$(id -u)" -eq 0 ] && unshare -m --propagation private true 2>/dev/null; then
  SOAK_PRIVATE_MOUNTS=1 exec unshare -m --propagation private python3 "$top/scripts/soak.py"
fi
exec python3 "$top/scripts/soak.py"
