#!/usr/bin/env bash
# Rebuilds the Windows toolchain from Debian's own source packages with Debian's
# mingw-w64 (gcc 12, posix threads):
#
#   DEST/qt-win/      Qt 6 for Windows (the host's qt6-base version): Core, Gui,
#                     Widgets, Sql, Test; plugins qwindows, qoffscreen, qminimal,
#                     qsqlite, qsqlmysql, qgif, qico, qjpeg, qwindowsvistastyle
#   DEST/sqlite-win/  sqlite3.dll, its import library and headers
#   DEST/mdb-win/     MariaDB Connector/C (libmariadb.dll, TLS through Schannel)
#
#   scripts/build-windows-toolchain.sh DEST
#
# About 35 minutes on two cores (Qt's build is 30 of them), once: build-windows.sh
# calls it only when the prepared archive beside the clone is missing or its
# checksum differs, and keeps the result. The sources come through apt-get with a
# private list of deb-src entries made from the machine's own deb entries, so the
# machine's apt configuration is left as it is. VARNOKEL_TOOLCHAIN_WORK names the
# scratch folder (sources and build trees, about 3 GB; removed on success).
set -euo pipefail

dest=${1:?usage: $0 DEST}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
work=${VARNOKEL_TOOLCHAIN_WORK:-$(mktemp -d /var/tmp/varnokel-toolchain.XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd)
jobs=$(nproc)
mingw=x86_64-w64-mingw32
step() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

for tool in $mingw-gcc-posix $mingw-g++-posix $mingw-windres cmake make tclsh dpkg-source; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done

# The versions that match this machine: Qt for Windows must be the host Qt's
# version (its moc and other tools build the program), SQLite and the connector
# those the tests' servers and drivers use.
version_of() { dpkg-query -W -f='${Version}' "$1"; }
qt_version=$(version_of qt6-base-dev)
sqlite_version=$(version_of libsqlite3-dev)
mariadb_version=$(version_of mariadb-server)

# ---- sources through a private apt state

step "sources: qt6-base $qt_version, sqlite3 $sqlite_version, mariadb $mariadb_version"
apt_state=$work/apt
mkdir -p "$apt_state/sources.list.d" "$apt_state/lists/partial" "$apt_state/cache/archives/partial"
: >"$apt_state/sources.list"
if [[ -f /etc/apt/sources.list ]]; then
  sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >>"$apt_state/sources.list"
fi
for f in /etc/apt/sources.list.d/*.sources; do
  [[ -f "$f" ]] || continue
  sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_state/sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list.d/*.list; do
  [[ -f "$f" ]] || continue
  sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >"$apt_state/sources.list.d/$(basename "$f")"
done
apt_private=(apt-get -q -o "Dir::Etc::SourceList=$apt_state/sources.list"
             -o "Dir::Etc::SourceParts=$apt_state/sources.list.d"
             -o "Dir::State::Lists=$apt_state/lists" -o "Dir::Cache=$apt_state/cache"
             -o "Debug::NoLocking=1")
"${apt_private[@]}" update
cd "$work"
# The installed version's source when the archive still has it, else the newest
# source version the archive lists that can be fetched (a mirror may lag behind
# a security update).
fetch_source() {
  local v
  for v in "$version" $("${apt_private[@]/apt-get/apt-cache}" showsrc "$package" 2>/dev/null |
                         sed -n 's/^Version: //p' | sort -urV); do
    "${apt_private[@]}" source "$@" "$package=$v" && return 0
    echo "no source for $package $v" >&2
  done
  return 1
}
package=qt6-base version=$qt_version fetch_source
package=sqlite3 version=$sqlite_version fetch_source
# Only the connector folder of the server's source is needed.
package=mariadb version=$mariadb_version fetch_source --download-only
mariadb_tar=$(ls "$work"/mariadb_*.orig.tar.* | grep -v '\.asc$' | head -n1)
mkdir -p "$work/mariadb"
tar -xf "$mariadb_tar" -C "$work/mariadb" --strip-components=1 --wildcards '*/libmariadb/*'
qt_upstream=${qt_version#*:}
qt_upstream=${qt_upstream%%[+-]*}
qt_src=$(find "$work" -maxdepth 1 -type d -name "qt6-base-$qt_upstream*" | head -n1)
sqlite_src=$(find "$work" -maxdepth 1 -type d -name 'sqlite3-*' | head -n1)
[[ -d "$qt_src" ]] || { echo "no qt6-base $qt_upstream source (the host Qt's version) in $work" >&2; exit 1; }
[[ -d "$sqlite_src" && -d "$work/mariadb/libmariadb" ]] || { echo "sources incomplete in $work" >&2; exit 1; }

# One toolchain file for the three cross builds.
cross=$work/mingw-w64.cmake
cat >"$cross" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $mingw-gcc-posix)
set(CMAKE_CXX_COMPILER $mingw-g++-posix)
set(CMAKE_RC_COMPILER $mingw-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$mingw $dest/sqlite-win $dest/mdb-win)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

# ---- SQLite: the amalgamation made by the source's own build, compiled as a DLL

step "SQLite"
rm -rf "$work/sqlite-build" "$dest/sqlite-win"
mkdir -p "$work/sqlite-build" "$dest/sqlite-win/bin" "$dest/sqlite-win/lib" "$dest/sqlite-win/include"
(cd "$work/sqlite-build" && "$sqlite_src/configure" --disable-tcl >configure.log && make -j"$jobs" sqlite3.c sqlite3.h >make.log)
$mingw-gcc-posix -O2 -shared -o "$dest/sqlite-win/bin/sqlite3.dll" "$work/sqlite-build/sqlite3.c" \
  -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE \
  -DSQLITE_TEMP_STORE=1 -Wl,--out-implib,"$dest/sqlite-win/lib/libsqlite3.dll.a"
cp "$work/sqlite-build/sqlite3.h" "$sqlite_src/src/sqlite3ext.h" "$dest/sqlite-win/include/"

# ---- MariaDB Connector/C with Windows' own TLS

step "MariaDB Connector/C"
rm -rf "$work/mdb-build" "$dest/mdb-win"
cmake -S "$work/mariadb/libmariadb" -B "$work/mdb-build" -DCMAKE_TOOLCHAIN_FILE="$cross" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest/mdb-win" \
  -DWITH_SSL=SCHANNEL -DWITH_UNIT_TESTS=OFF -DWITH_CURL=OFF -DWITH_EXTERNAL_ZLIB=OFF \
  -DCLIENT_PLUGIN_DIALOG=STATIC >"$work/mdb-configure.log"
cmake --build "$work/mdb-build" -j"$jobs" >"$work/mdb-build.log"
cmake --install "$work/mdb-build" >"$work/mdb-install.log"
[[ -f "$dest/mdb-win/lib/mariadb/libmariadb.dll" ]] || { echo "connector build left no libmariadb.dll" >&2; exit 1; }

# ---- Qt

step "Qt: source fixes"
# The Windows platform plugin takes the DirectWrite font database whenever
# directwrite3 is on, while Gui builds that class only when direct2d is on too;
# with direct2d off the plugin does not link. Both places (the include and the
# use) get the second condition.
integration=$qt_src/src/plugins/platforms/windows/qwindowsintegration.cpp
if ! grep -q 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' "$integration"; then
  sed -i 's/^\([[:space:]]*#[[:space:]]*if\)[[:space:]]\+QT_CONFIG(directwrite3)[[:space:]]*$/\1 QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$integration"
  [[ $(grep -c 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' "$integration") -ge 2 ]] \
    || { echo "$integration: the two directwrite3 guards were not found; the fix needs a look" >&2; exit 1; }
fi

qt_common=(
  -DCMAKE_TOOLCHAIN_FILE="$cross" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest/qt-win"
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_dbus=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_network=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON
  -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON
  -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF
  -DSQLite3_INCLUDE_DIR="$dest/sqlite-win/include" -DSQLite3_LIBRARY="$dest/sqlite-win/lib/libsqlite3.dll.a"
  -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF -DFEATURE_freetype=ON
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF -DFEATURE_zstd=OFF
  -DFEATURE_androiddeployqt=OFF)

step "Qt: configure"
rm -rf "$work/qt-build" "$dest/qt-win"
cmake -S "$qt_src" -B "$work/qt-build" "${qt_common[@]}" -DFEATURE_sql_mysql=OFF >"$work/qt-configure.log"
# The MySQL driver in a second pass, with the connector just built.
cmake -S "$qt_src" -B "$work/qt-build" "${qt_common[@]}" -DFEATURE_sql_mysql=ON \
  -DMySQL_INCLUDE_DIR="$dest/mdb-win/include/mariadb" -DMySQL_LIBRARY="$dest/mdb-win/lib/mariadb/liblibmariadb.dll.a" \
  >>"$work/qt-configure.log"
grep -q 'FEATURE_sql_mysql:BOOL=ON' "$work/qt-build/CMakeCache.txt" \
  || { echo "Qt's configure turned the MySQL driver off, see $work/qt-configure.log" >&2; exit 1; }

step "Qt: build (about 30 minutes on two cores)"
cmake --build "$work/qt-build" -j"$jobs" >"$work/qt-build.log" 2>&1 \
  || { tail -30 "$work/qt-build.log" >&2; echo "Qt's build failed, see $work/qt-build.log" >&2; exit 1; }
cmake --install "$work/qt-build" >"$work/qt-install.log"

for f in qt-win/bin/Qt6Core.dll qt-win/plugins/platforms/qwindows.dll qt-win/plugins/platforms/qoffscreen.dll \
         qt-win/plugins/sqldrivers/qsqlite.dll qt-win/plugins/sqldrivers/qsqlmysql.dll sqlite-win/bin/sqlite3.dll; do
  [[ -f "$dest/$f" ]] || { echo "the toolchain lacks $f" >&2; exit 1; }
done
step "done: $dest"
if [[ -z "${VARNOKEL_TOOLCHAIN_WORK:-}" ]]; then rm -rf "$work"; fi
# The same three folders can be packed as the shared archive:
#   tar -C DEST -cJf qt6.4.2-mingw64-toolchain.tar.xz qt-win sqlite-win mdb-win
