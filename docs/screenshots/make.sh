#!/usr/bin/env bash
# Makes the screenshots in this folder from generated demo data: a price
# database from make_price_db and a private demo shop database
# (scripts/demo-shop.sh, port SHOP_PORT or 3317), stopped again at the end.
#
#   docs/screenshots/make.sh          PNGs at 1920x1080 here and at 1366x768 in 1366x768/
#
# Uses its own build folder (build-screenshots, or BUILD_DIR) and the offscreen
# Qt platform, so it runs without a display.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build-screenshots}
port=${SHOP_PORT:-3317}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target screenshots make_price_db

work=$(mktemp -d)
cleanup() {
  SHOP_PORT=$port bash "$root/scripts/demo-shop.sh" stop "$work/shop" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/tools/make_price_db" "$work/varnokel.mdb" --products "${DEMO_PRODUCTS:-3000}" >/dev/null
SHOP_PORT=$port bash "$root/scripts/demo-shop.sh" start "$work/shop" >/dev/null
# The demo settings: default content plus the demo shop's connection.
printf '[authentication]\r\nid=?\r\nlogin=?\r\n[settings]\r\nimagetostring=?\r\nimagethumb=?\r\nvisiblesumm=0\r\n[forms]\r\nname=6000\r\nremainder=1000\r\nprice=1000\r\norder=1000\r\nsumm=1000\r\n[connection]\r\nshop_host=127.0.0.1\r\nshop_port=%s\r\n' "$port" >"$work/settings.ini"

# The program as the users see it: in the Russian locale. Where the system has
# not generated it (scripts/install-deps.sh does), it is compiled here.
if ! locale -a 2>/dev/null | grep -qiE '^ru_RU\.utf-?8$'; then
  mkdir -p "$build/locale"
  [[ -d $build/locale/ru_RU.UTF-8 ]] || localedef -i ru_RU -f UTF-8 "$build/locale/ru_RU.UTF-8"
  export LOCPATH=$build/locale
fi
export QT_QPA_PLATFORM=offscreen
for size in 1920x1080 1366x768; do
  w=${size%x*}
  h=${size#*x}
  out=$here
  [[ $size == 1920x1080 ]] || out=$here/$size
  # Each run starts signed out, as a new user does.
  sed -i 's/^id=.*\r$/id=?\r/; s/^login=.*\r$/login=?\r/' "$work/settings.ini"
  LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 "$build/tools/screenshots" "$work" "$out" "$w" "$h"
done
