#!/usr/bin/env bash
# Builds the Debian package once (scripts/package.sh) and inspects it: the
# paths it holds, its dependencies, lintian (no errors), the desktop
# entries, the AppStream metainfo and the service unit (systemd-analyze
# verify, on a copy whose ExecStart names the unpacked program).
# As root with CI=true or LUMARC_PACKAGE_INSTALL_TEST=1 it also installs the
# package with apt, runs the installed lumarc-cli and removes the package
# again; a machine that already has the package installed is left alone.
# Exits non-zero when a check failed.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/package}
work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# check WHAT COMMAND...: runs the command, reports it, shows its output on failure.
check() {
  local what=$1
  shift
  if "$@" >"$work/out" 2>&1; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAIL: $what"
    sed 's/^/    /' "$work/out"
    failed=$((failed + 1))
  fi
}

finish() {
  echo "package checks: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

echo "== building the package"
if ! deb=$(bash "$top/scripts/package.sh" "$build" "$top/build" | tail -n 1) || [ ! -f "$deb" ]; then
  echo "FAIL: the package could not be built"
  failed=$((failed + 1))
  finish
fi
echo "$deb"

has_paths() {
  local listing missing=0 p
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for p in "$@"; do
    if ! grep -qxF -- "$p" <<<"$listing"; then
      echo "missing: $p"
      missing=1
    fi
  done
  return $missing
}
expected=(
  ./usr/bin/lumarc-cli ./usr/bin/corvane-sim ./usr/bin/corvane-setup
  ./usr/share/man/man1/lumarc-cli.1.gz ./usr/share/man/man1/corvane-sim.1.gz ./usr/share/man/man1/corvane-setup.1.gz
  ./usr/share/bash-completion/completions/lumarc-cli
  ./usr/lib/systemd/system/lumarc-collect@.service ./usr/lib/sysusers.d/lumarc.conf
  ./usr/lib/systemd/system/lumarc-web.service ./usr/share/doc/corvane-tools/examples/web.conf
  ./usr/share/doc/corvane-tools/copyright ./usr/share/doc/corvane-tools/changelog.gz
  ./usr/share/doc/corvane-tools/examples/site1.conf ./usr/share/doc/corvane-tools/examples/lumarc-report@.timer
)
for program in lumarc halvern; do
  [ -x "$build/lumarc/window/$program" ] || [ -x "$build/halvern/ui/$program" ] || continue
  id=com.brennic.${program^}
  expected+=(./usr/bin/$program ./usr/share/man/man1/$program.1.gz ./usr/share/applications/$id.desktop
    ./usr/share/metainfo/$id.metainfo.xml ./usr/share/icons/hicolor/scalable/apps/$program.svg)
  for size in 16 22 24 32 48 64 128 256; do expected+=(./usr/share/icons/hicolor/${size}x$size/apps/$program.png); done
done
check "the package holds the programs and their files" has_paths "${expected[@]}"

depends_on() {
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  for d in "$@"; do grep -q "\\b$d\\b" <<<"$depends" || return 1; done
}
check "its dependencies come from the libraries it links, and the ODBC driver" \
  depends_on libc6 libqt6core6 libsystemd0 libodbc2 libsqliteodbc
if [ -x "$build/lumarc/window/lumarc" ] && grep -q '^LUMARC_WEBENGINE:BOOL=ON' "$build/CMakeCache.txt"; then
  check "Lumarc's embedded page view brings Qt WebEngine and its helper program" \
    depends_on libqt6webenginewidgets6 libqt6webenginecore6-bin
fi

check "lintian reports no errors" lintian --fail-on error --no-tag-display-limit "$deb"

root=$work/root
dpkg-deb -x "$deb" "$root"
check "the desktop entries are valid" bash -c 'desktop-file-validate "$@"' _ "$root"/usr/share/applications/*.desktop
check "the AppStream metainfo is valid" appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml

# systemd-analyze verify wants the program the unit starts to exist.
units=$work/units
mkdir -p "$units"
sed "s|^ExecStart=/usr/bin/lumarc-cli|ExecStart=$root/usr/bin/lumarc-cli|" \
  "$root/usr/lib/systemd/system/lumarc-collect@.service" >"$units/lumarc-collect@.service"
# Unknown keys and values are only warnings there: any word from it fails.
verify_unit() {
  local said
  said=$(systemd-analyze verify --man=no "$1" 2>&1) || { echo "$said"; return 1; }
  [ -z "$said" ] || { echo "$said"; return 1; }
}
check "systemd accepts the collector unit" verify_unit "$units/lumarc-collect@.service"
sed "s|^ExecStart=/usr/bin/lumarc-cli|ExecStart=$root/usr/bin/lumarc-cli|" \
  "$root/usr/lib/systemd/system/lumarc-web.service" >"$units/lumarc-web.service"
check "systemd accepts the web unit" verify_unit "$units/lumarc-web.service"

if [ "$(id -u)" -eq 0 ] && { [ "${CI:-}" = true ] || [ "${LUMARC_PACKAGE_INSTALL_TEST:-}" = 1 ]; }; then
  if dpkg-query -W -f='${Status}' corvane-tools 2>/dev/null | grep -q 'install ok installed'; then
    echo "skipped: installing the package (corvane-tools is installed on this machine already)"
  else
    export DEBIAN_FRONTEND=noninteractive
    check "apt installs the package" apt-get install -y -q --no-install-recommends "$deb"
    installed() {
      [ "$(command -v lumarc-cli)" = /usr/bin/lumarc-cli ] || { echo "lumarc-cli is not /usr/bin/lumarc-cli"; return 1; }
      /usr/bin/lumarc-cli --help | grep -q '^  collect ' || return 1
      getent passwd lumarc || { echo "no user lumarc"; return 1; }
      verify_unit /usr/lib/systemd/system/lumarc-collect@.service
    }
    check "the installed lumarc-cli runs from the PATH, its user and unit are there" installed
    check "apt removes the package again" apt-get purge -y -q corvane-tools
    check "nothing of the program is left" test ! -e /usr/bin/lumarc-cli
  fi
else
  echo "skipped: installing the package (needs root and CI=true or LUMARC_PACKAGE_INSTALL_TEST=1)"
fi
finish
