#!/usr/bin/env bash
# Cross-builds the Windows program with Debian's mingw-w64 against Qt 6 for
# Windows and packages it. Results in build-windows/:
#
#   Varnokel/                      the runnable folder: Varnokel.exe, the Qt, SQLite,
#                                  MariaDB and MinGW DLLs, plugin folders
#   Varnokel-<version>-win64.zip   that folder as a zip
#   Varnokel-<version>-win64.exe   the per-user installer
#   toolchain                      link to the Windows toolchain in use
#
# The toolchain (Qt for Windows, SQLite and MariaDB connector DLLs) is the archive
# in ../shared/windows-toolchain/ beside the clone when it matches its SHA256SUMS,
# unpacked once into a cache outside the work tree:
# /var/cache/varnokel-windows-toolchain/<checksum>/ (or ~/.cache/... where
# /var/cache cannot be written). Without a matching archive,
# scripts/build-windows-toolchain.sh rebuilds it from Debian's source packages into
# that cache (about 35 minutes, once).
#
# Environment: VARNOKEL_SHARED (the folder holding windows-toolchain/),
# VARNOKEL_TOOLCHAIN_CACHE (the cache), VARNOKEL_WINDOWS_BUILD (the build folder).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$PWD
bash scripts/install-deps.sh

shared=${VARNOKEL_SHARED:-$repo/../shared}
archive_dir=$shared/windows-toolchain
archive_name=qt6.4.2-mingw64-toolchain.tar.xz
build=${VARNOKEL_WINDOWS_BUILD:-$repo/build-windows}

cache=${VARNOKEL_TOOLCHAIN_CACHE:-/var/cache/varnokel-windows-toolchain}
if ! mkdir -p "$cache" 2>/dev/null || [[ ! -w "$cache" ]]; then
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/varnokel-windows-toolchain
  mkdir -p "$cache"
fi

# ---- the toolchain: unpacked from the archive, else rebuilt from source

now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds_since() { local ms=$(($(now_ms) - $1)); printf '%d.%d s' $((ms / 1000)) $((ms % 1000 / 100)); }
toolchain_ready() { [[ -f "$1/.complete" && -d "$1/qt-win/lib/cmake/Qt6" ]]; }

exec 9>"$cache/.lock"
flock 9
archive=$archive_dir/$archive_name
if [[ -f "$archive" ]] && (cd "$archive_dir" && sha256sum --check --status SHA256SUMS 2>/dev/null); then
  sum=$(awk -v n="$archive_name" '$2 == n || $2 == "*" n { print $1 }' "$archive_dir/SHA256SUMS")
  toolchain=$cache/$sum
  if ! toolchain_ready "$toolchain"; then
    echo "Unpacking the Windows toolchain into $toolchain"
    start=$(now_ms)
    rm -rf "$toolchain" "$toolchain.part"
    mkdir -p "$toolchain.part"
    tar -xJf "$archive" -C "$toolchain.part"
    touch "$toolchain.part/.complete"
    mv "$toolchain.part" "$toolchain"
    echo "Unpacked in $(seconds_since "$start")"
  fi
else
  if [[ -f "$archive" ]]; then
    echo "$archive does not match $archive_dir/SHA256SUMS: the toolchain is rebuilt from source" >&2
  else
    echo "No $archive: the toolchain is rebuilt from source" >&2
  fi
  # Keyed by the recipe, so a changed recipe builds afresh.
  toolchain=$cache/source-$(sha256sum scripts/build-windows-toolchain.sh | cut -c1-16)
  if ! toolchain_ready "$toolchain"; then
    rm -rf "$toolchain"
    bash scripts/build-windows-toolchain.sh "$toolchain.part"
    touch "$toolchain.part/.complete"
    mv "$toolchain.part" "$toolchain"
  fi
fi
flock -u 9

# ---- configure, build, deploy, package

mkdir -p "$build"
exec 8>"$build/.lock"
flock 8
ln -sfn "$toolchain" "$build/toolchain"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
  -DVARNOKEL_WINDOWS_TOOLCHAIN="$toolchain" -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" \
  || { cat "$build/configure.log" >&2; exit 1; }
start=$(now_ms)
cmake --build "$build" -j"$(nproc)" --target Varnokel
echo "Varnokel.exe built in $(seconds_since "$start")"

# The folder is made afresh, so that nothing stays from an earlier layout. The
# stripped executable carries the link time, not the time of stripping, so the
# same build gives the same bytes.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(stat -c %Y "$build/src/Varnokel.exe")}
rm -rf "$build/Varnokel.part"
cmake --install "$build" --prefix "$build/Varnokel.part" --strip >/dev/null
rm -rf "$build/Varnokel"
mv "$build/Varnokel.part" "$build/Varnokel"

# The packages are remade only when the folder's contents changed.
fingerprint=$(cd "$build/Varnokel" && find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -c1-64)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
packages=("$build/Varnokel-$version-win64.zip" "$build/Varnokel-$version-win64.exe")
if [[ "$(cat "$build/packages.fingerprint" 2>/dev/null)" != "$fingerprint" || ! -f "${packages[0]}" || ! -f "${packages[1]}" ]]; then
  rm -f "$build/packages.fingerprint"
  (cd "$build" && cpack >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
  echo "$fingerprint" >"$build/packages.fingerprint"
fi
echo "Windows program: $build/Varnokel/Varnokel.exe"
for p in "${packages[@]}"; do echo "Package: $p ($(du -k "$p" | cut -f1) KB)"; done
