#!/usr/bin/env bash
# Installs what is missing, builds, prepares a demo folder (a generated price
# database and a private demo shop database) and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target Varnokel make_price_db
DEMO="$PWD/demo"
mkdir -p "$DEMO"
[ -f "$DEMO/varnokel.mdb" ] || build/tools/make_price_db "$DEMO/varnokel.mdb" --products "${DEMO_PRODUCTS:-3000}"
SHOP_PORT="${SHOP_PORT:-3307}" bash scripts/demo-shop.sh start "$DEMO/shop"
if [ ! -f "$DEMO/settings.ini" ]; then
  printf '[authentication]\r\nid=?\r\nlogin=?\r\n[settings]\r\nimagetostring=?\r\nimagethumb=?\r\nvisiblesumm=0\r\n[forms]\r\nname=6000\r\nremainder=1000\r\nprice=1000\r\norder=1000\r\nsumm=1000\r\n[connection]\r\nshop_host=127.0.0.1\r\nshop_port=%s\r\nftp_host=127.0.0.1:2121\r\n' "${SHOP_PORT:-3307}" > "$DEMO/settings.ini"
fi
echo "Demo folder: $DEMO (organisation code for sign-in: 57)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec env VARNOKEL_HOME="$DEMO" xvfb-run -a build/src/Varnokel "$@"
fi
exec env VARNOKEL_HOME="$DEMO" build/src/Varnokel "$@"
