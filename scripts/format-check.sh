#!/usr/bin/env bash
# Fails, naming the files, when a C++ file of the tree differs from what
# clang-format makes of it under .clang-format. Hand-laid tables are kept
# between "// clang-format off" and "// clang-format on".
# scripts/format-check.sh --fix rewrites the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "format check: clang-format is missing (make deps installs it)" >&2
  exit 1
fi
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One clang-format run over the whole tree: each differing place is a
# "FILE:LINE:COL: error:" line.
mapfile -t differ < <(clang-format --dry-run --Werror "${files[@]}" 2>&1 |
  sed -nE 's/^([^:]+):[0-9]+:[0-9]+: error:.*/\1/p' | sort -u)
if [ ${#differ[@]} -gt 0 ]; then
  echo "format check: ${#differ[@]} file(s) differ from .clang-format (scripts/format-check.sh --fix rewrites them):" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "format check: ${#files[@]} files follow .clang-format"
