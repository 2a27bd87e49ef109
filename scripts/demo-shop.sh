#!/usr/bin/env bash
# A private demo MariaDB for the shop database, kept in a folder of your choice.
#
#   scripts/demo-shop.sh start DIR   start it (creating the database, its user, the
#                                    shop tables and demo data on the first start);
#                                    prints the port
#   scripts/demo-shop.sh stop DIR    shut it down
#   scripts/demo-shop.sh status DIR  print the port if it is running
#
# Port 3307 unless SHOP_PORT is set. Files: DIR/mysql (data), DIR/mysql.sock,
# DIR/mysql.pid, DIR/mysql.err, DIR/mysql.port. Never touches a system server.
set -euo pipefail

cmd=${1:-}
dir=${2:-}
if [[ -z "$cmd" || -z "$dir" ]]; then
  echo "usage: $0 start|stop|status DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
data="$dir/mysql"
sock="$dir/mysql.sock"
pidfile="$dir/mysql.pid"
portfile="$dir/mysql.port"
port=${SHOP_PORT:-3307}

find_prog() {
  local p
  for p in "$(command -v "$1" 2>/dev/null || true)" "/usr/sbin/$1" "/usr/bin/$1" "/usr/local/sbin/$1"; do
    [[ -n "$p" && -x "$p" ]] && { echo "$p"; return 0; }
  done
  echo "$1 not found; run scripts/install-deps.sh" >&2
  return 1
}

running() {
  [[ -f "$pidfile" ]] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

client() {
  "$(find_prog mariadb)" --no-defaults --socket="$sock" --user=root --default-character-set=utf8mb4 "$@"
}

user_opt=()
[[ $(id -u) -eq 0 ]] && user_opt=(--user=root)

case "$cmd" in
  start)
    if running; then
      cat "$portfile" 2>/dev/null || echo "$port"
      exit 0
    fi
    first=0
    if [[ ! -d "$data/mysql" ]]; then
      first=1
      "$(find_prog mariadb-install-db)" --no-defaults --datadir="$data" "${user_opt[@]}" \
        --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 \
        || { echo "mariadb-install-db failed, see $dir/install.log" >&2; exit 1; }
    fi
    "$(find_prog mariadbd)" --no-defaults --datadir="$data" --socket="$sock" --port="$port" \
      --bind-address=127.0.0.1 --pid-file="$pidfile" --log-error="$dir/mysql.err" "${user_opt[@]}" \
      --skip-log-bin --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
      >/dev/null 2>&1 &
    server=$!
    for _ in $(seq 1 300); do
      if client -e 'SELECT 1' >/dev/null 2>&1; then break; fi
      if ! kill -0 "$server" 2>/dev/null; then
        echo "mariadbd did not start (port $port in use?), see $dir/mysql.err:" >&2
        tail -5 "$dir/mysql.err" >&2 || true
        exit 1
      fi
      sleep 0.1
    done
    client -e 'SELECT 1' >/dev/null 2>&1 || { echo "mariadbd does not answer, see $dir/mysql.err" >&2; exit 1; }
    if [[ $first -eq 1 ]]; then
      client <<'SQL'
CREATE DATABASE IF NOT EXISTS zorvik_vrnk_db CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
CREATE USER IF NOT EXISTS 'zorvik_vrnk_db'@'127.0.0.1' IDENTIFIED BY 'T5$W8N3P';
CREATE USER IF NOT EXISTS 'zorvik_vrnk_db'@'localhost' IDENTIFIED BY 'T5$W8N3P';
GRANT ALL PRIVILEGES ON zorvik_vrnk_db.* TO 'zorvik_vrnk_db'@'127.0.0.1';
GRANT ALL PRIVILEGES ON zorvik_vrnk_db.* TO 'zorvik_vrnk_db'@'localhost';
FLUSH PRIVILEGES;
SQL
      client zorvik_vrnk_db <"$here/tools/shop_schema.sql"
      client zorvik_vrnk_db <"$here/tools/shop_seed.sql"
    fi
    echo "$port" >"$portfile"
    echo "$port"
    ;;
  stop)
    if running; then
      pid=$(cat "$pidfile")
      kill -TERM "$pid"
      for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
    fi
    rm -f "$portfile"
    ;;
  status)
    if running; then cat "$portfile" 2>/dev/null || echo "$port"; else echo "not running" >&2; exit 1; fi
    ;;
  *)
    echo "usage: $0 start|stop|status DIR" >&2
    exit 2
    ;;
esac
