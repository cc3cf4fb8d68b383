#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the tool set.
# Idempotent: installs only what is missing; does nothing when all is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6network6 libqt6sql6
  qt6-webengine-dev
  qt6-l10n-tools qt6-tools-dev-tools
  libgl-dev libxkbcommon-dev
  libssl-dev
  unixodbc unixodbc-dev odbcinst libsqliteodbc odbc-postgresql odbc-mdbtools
  postgresql postgresql-client
  sqlite3 libsqlite3-dev
  libmp3lame-dev lame
  libbcg729-dev portaudio19-dev libspeexdsp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev
  libtomlplusplus-dev libcpp-httplib-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth xdg-utils x11-utils
  iproute2
  tshark
  poppler-utils
  libsystemd-dev systemd lintian desktop-file-utils appstream
  libcpp-httplib-dev libsodium-dev
  chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq || $SUDO apt-get update
# tshark asks whether non-root users may capture; the default answer is fine.
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
