#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail
PKGS=(cmake g++ make qt6-base-dev libqt6sql6-sqlite libqt6sql6-mysql libsqlite3-dev sqlite3
      mariadb-server mariadb-client python3-pyftpdlib curl fonts-dejavu-core xvfb xauth dpkg-dev file ccache
      wine wine64 mingw-w64 locales nsis xz-utils tcl)   # the last row: Windows build, wine checks, locale
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# The Russian locale, in which the screenshots are taken and the users work.
if ! locale -a 2>/dev/null | grep -qiE '^ru_RU\.utf-?8$'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  $SUDO locale-gen
fi
