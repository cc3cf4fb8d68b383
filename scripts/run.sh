#!/usr/bin/env bash
# Starts the management program in its working directory.
set -euo pipefail
build=${1:-build/debug}
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${LUMARC_DIR:-$top/run}
mkdir -p "$dir"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display is available: lumarc needs a desktop session."
  echo "Use the headless companion instead, for example:"
  echo "  $top/$build/tools/lumarc-cli --help"
  exit 1
fi
cd "$dir"
exec "$top/$build/lumarc/window/lumarc" "$@"
