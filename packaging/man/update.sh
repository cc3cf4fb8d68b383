#!/usr/bin/env bash
# Writes the parts of the man pages that come from the programs' own --help
# (between the "generated" marks of lumarc-cli.1 and corvane-sim.1), so that
# a changed command or option shows up in the pages and in review.
#   packaging/man/update.sh LUMARC_CLI CORVANE_SIM           rewrites the pages
#   packaging/man/update.sh --check LUMARC_CLI CORVANE_SIM   exits 1 when they differ
set -euo pipefail
check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
cli=${1:?usage: update.sh [--check] LUMARC_CLI CORVANE_SIM}
sim=${2:?usage: update.sh [--check] LUMARC_CLI CORVANE_SIM}
here=$(cd "$(dirname "$0")" && pwd)

# Text as roff: backslashes and dashes escaped, no line starting with a dot.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

# Each command: its usage line as the tag, its summary, then its arguments
# and options as --help lists them.
cli_block() {
  local name help rest
  "$cli" --help | sed -n '/^commands:/,$p' | awk 'NR > 1 && NF {print $1}' | while read -r name; do
    help=$("$cli" "$name" --help)
    echo ".TP"
    printf '\\fB%s\\fR\n' "$(head -n 1 <<<"$help" | sed -e "s/^usage: lumarc-cli \\[--dir WORKDIR\\] \\[--db CONNECTION\\] //" -e 's/ *$//' | roff)"
    sed -n 2p <<<"$help" | roff
    rest=$(tail -n +4 <<<"$help" | sed 's/ *$//')
    if [ -n "$rest" ]; then
      echo ".nf"
      roff <<<"$rest"
      echo ".fi"
    fi
  done
}

sim_block() {
  local role
  echo ".nf"
  "$sim" --help | roff
  for role in $("$sim" --help | sed -n '/^roles:/,$p' | awk 'NR > 1 && NF {print $1}'); do
    if out=$("$sim" "$role" --help 2>/dev/null); then
      echo
      printf '%s\n' "$out" | roff
    fi
  done
  echo ".fi"
}

# Replaces the lines between the marks of page with the block's lines.
splice() {
  local page=$1 block=$2
  awk -v block="$block" '
    /^\.\\" BEGIN generated/ { print; while ((getline line < block) > 0) print line; skip = 1; next }
    /^\.\\" END generated/ { skip = 0 }
    !skip { print }' "$page"
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cli_block > "$tmp/cli"
sim_block > "$tmp/sim"
status=0
for pair in "lumarc-cli.1:cli" "corvane-sim.1:sim"; do
  page=$here/${pair%%:*}
  splice "$page" "$tmp/${pair##*:}" > "$tmp/page"
  if [ $check = 1 ]; then
    if ! diff -u "$page" "$tmp/page"; then
      echo "packaging/man/${pair%%:*} is out of date: run packaging/man/update.sh $cli $sim" >&2
      status=1
    fi
  else
    cp "$tmp/page" "$page"
  fi
done
exit $status
