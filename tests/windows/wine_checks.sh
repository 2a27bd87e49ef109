#!/usr/bin/env bash
# The Windows program under wine, as the customers' machines run it.
#
#   wine_checks.sh SOURCE_DIR WORK_DIR DRIVEN_TEST
#
# Builds the Windows program with scripts/build-windows.sh (unchanged parts are
# reused), makes a private wine prefix in WORK_DIR and checks there:
#   - the executable is a windowed program; --version and --help answer in
#     readable Russian through redirected output;
#   - the installer installs per user (files, Start-menu entry, uninstall entry),
#     the installed program answers, the uninstaller removes it again;
#   - the self-update chain: the real program started with 30 finds the newer
#     copy in temp\, writes updateexe.bat and starts it under wine's cmd; the
#     script waits for the program to end, copies the new executable over it and
#     starts it with 50;
#   - the test programs of the window layer that can run under wine, built
#     for Windows;
#   - DRIVEN_TEST (test_wine_program): the Windows program with its remote
#     control on a generated price list, an order sent to a private MariaDB.
# Wine is required: when it cannot start, the checks fail.
set -euo pipefail
src=$(cd "$1" && pwd)
work=$2
driven_test=$3
started=$(date +%s)

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok   $*"; }

command -v wine >/dev/null || fail "wine is not installed (scripts/install-deps.sh installs it)"
command -v x86_64-w64-mingw32-gcc >/dev/null || fail "mingw-w64 is not installed (scripts/install-deps.sh installs it)"

build=${VARNOKEL_WINDOWS_BUILD:-$src/build-windows}
bash "$src/scripts/build-windows.sh" || fail "the Windows build failed"
# For the checks only: the program with its remote control, and the test
# programs that can run under wine: those of the window layer and the settings
# file that need no Linux server or shell (test_history and
# test_send_order start a MariaDB server, test_updates runs the POSIX scripts).
windows_tests=(test_grid test_options test_price)
# Test functions left out under wine, with the reason: Qt's offscreen platform on
# Windows does not pass a window's new size on to an MDI child as on Linux.
windows_tests_left_out=(test_price::resizing)
cmake --build "$build" -j"$(nproc)" --target Varnokel-e2e "${windows_tests[@]}" >"$build/tests-build.log" 2>&1 ||
  fail "the Windows test programs do not build: $(tail -20 "$build/tests-build.log")"
built=$(date +%s)
app=$build/Varnokel
toolchain=$build/toolchain
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
installer=$build/Varnokel-$version-win64.exe

rm -rf "$work"
mkdir -p "$work"
# Wine's own tasklist prints nothing; the update scripts' stand-in prints what
# Windows prints.
x86_64-w64-mingw32-gcc -O2 -municode -o "$work/tasklist.exe" "$src/tests/standin/windows_standin.c" ||
  fail "the tasklist stand-in does not build"

# A Russian Windows, as the customers have: wine takes its code pages from the
# locale (ANSI 1251, OEM 866).
locale -a 2>/dev/null | grep -qiE '^ru_RU\.utf-?8$' || fail "no ru_RU.UTF-8 locale (scripts/install-deps.sh makes it)"
export LC_ALL=ru_RU.UTF-8
# A prefix of our own, no display: windows go to Qt's offscreen platform. Wine
# passes no QT_* variable from here, so the platform is given on the command
# line, and through the prefix's own environment to programs that the update
# scripts start.
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;tasklist.exe=n"
unset DISPLAY WAYLAND_DISPLAY
cleanup() { wineserver -k 2>/dev/null || true; }
trap cleanup EXIT
timeout 300 wineboot -i >/dev/null 2>&1 || fail "wine cannot make a prefix in $WINEPREFIX"
wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null | grep -q 1251 ||
  fail "the prefix does not have the Russian code pages"
drive_c=$WINEPREFIX/drive_c
# Windows path of a file in the prefix's C: drive, of any other file on Z:.
winpath() { local p=${1#"$drive_c"}; echo "C:${p//\//\\}"; }
zpath() { echo "Z:${1//\//\\}"; }
# Temporary files on Z:, where the test programs' own paths (Linux paths, on the
# current drive) stay valid after they change into a temporary folder.
mkdir -p "$work/temp" "$work/results"
for entry in "QT_QPA_PLATFORM offscreen" "TEMP $(zpath "$work/temp")" "TMP $(zpath "$work/temp")"; do
  wine reg add 'HKCU\Environment' /v "${entry%% *}" /d "${entry#* }" /f >/dev/null 2>&1 || fail "wine's reg does not run"
done
cp "$work/tasklist.exe" "$drive_c/windows/system32/tasklist.exe"
booted=$(date +%s)
# Whether a process of this prefix runs the program (its path ends in \NAME)
# with ARG as its first argument. Wine shows a program's path and arguments as
# the Linux process's command line.
wine_program_runs() {
  local p fields
  for p in /proc/[0-9]*; do
    { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    mapfile -t fields < <({ tr '\0' '\n' <"$p/cmdline"; } 2>/dev/null)
    [[ "${fields[0]:-}" == *\\"$1" && "${fields[1]:-}" == "$2" ]] && return 0
  done
  return 1
}
# Waits (seconds) until the command succeeds.
wait_for() {
  local seconds=$1
  shift
  for _ in $(seq 1 $((seconds * 5))); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# ---- the executable

file "$app/Varnokel.exe" | grep -q '(GUI)' || fail "Varnokel.exe is not a windowed program: $(file "$app/Varnokel.exe")"
pass "Varnokel.exe is a windowed program"

out=$(timeout 60 wine "$app/Varnokel.exe" --version 2>/dev/null | tr -d '\r') || fail "--version did not end well"
[[ "$out" == "Varnokel $version" ]] || fail "--version printed '$out', not 'Varnokel $version'"
pass "--version: $out"

out=$(timeout 60 wine "$app/Varnokel.exe" --help 2>/dev/null | tr -d '\r') || fail "--help did not end well"
grep -q '^Программа заявок Варнокел' <<<"$out" && grep -q 'показать версию и выйти' <<<"$out" ||
  fail "--help is not readable Russian: $(head -c 200 <<<"$out")"
pass "--help in Russian"

# Typed in a console: on a terminal wine gives cmd a console of its own, and the
# windowed program writes its text there in the console's characters.
console_text() {
  (cd "$work" && timeout 60 script -qec "wine cmd /c '$(zpath "$app/Varnokel.exe") --help'" /dev/null) |
    tr -d '\r' | sed 's/\x1b\[[?0-9;]*[a-zA-Z]//g'
}
grep -q '^Программа заявок Варнокел' <<<"$(console_text)" || fail "--help in a console is not readable: $(console_text | head -c 200)"
pass "--help in a console in Russian"

# ---- the installer

profile=$(find "$drive_c/users" -maxdepth 1 -mindepth 1 -type d ! -name Public | head -n1)
installed=$profile/AppData/Local/Programs/Varnokel
timeout 120 wine "$installer" /S || fail "the installer failed"
for f in Varnokel.exe Qt6Widgets.dll sqlite3.dll libmariadb.dll platforms/qwindows.dll sqldrivers/qsqlmysql.dll Uninstall.exe; do
  [[ -f "$installed/$f" ]] || fail "the installer left no $f in $installed"
done
shortcut=$(find "$profile" -name 'Программа заявок Варнокел.lnk' | head -n1)
[[ -n "$shortcut" ]] || fail "the installer made no Start-menu entry"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnokel'
wine reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | grep -q "$version" || fail "no uninstall entry with the version"
cp "$toolchain/qt-win/plugins/platforms/qoffscreen.dll" "$installed/platforms/"
out=$(timeout 60 wine "$installed/Varnokel.exe" --version 2>/dev/null | tr -d '\r')
[[ "$out" == "Varnokel $version" ]] || fail "the installed program answered '$out'"
rm "$installed/platforms/qoffscreen.dll"
timeout 120 wine "$installed/Uninstall.exe" /S || fail "the uninstaller failed"
# The uninstaller runs on from a copy of itself in the temporary folder.
wait_for 60 test ! -e "$installed/Uninstall.exe" || fail "the uninstaller did not finish"
[[ ! -e "$installed" ]] || fail "the uninstaller left files: $(find "$installed")"
wait_for 30 test ! -e "$shortcut" || fail "the uninstaller left the Start-menu entry"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstaller left the uninstall entry"
pass "installer: per-user files, Start-menu entry, uninstall entry, all removed again"

# ---- the self-update chain: 30 -> updateexe.bat under cmd -> copy -> 50

# A folder name that means something to cmd, in letters outside ASCII.
folder="$drive_c/Варнокел & Ко (опт) 100%"
mkdir -p "$folder/temp"
cp -r "$app"/. "$folder/"
cp "$toolchain/qt-win/plugins/platforms/qoffscreen.dll" "$folder/platforms/"
# The downloaded program: the same program with bytes of its own at the end
# (Windows ignores them), newer than the running one.
{ cat "$app/Varnokel.exe"; printf 'downloaded copy %s' "$(date +%s%N)"; } >"$folder/temp/Varnokel.exe"
touch -d '2024-01-01 12:00' "$folder/Varnokel.exe"
timeout 60 wine "$(winpath "$folder")\\Varnokel.exe" 30 -platform offscreen >"$work/chain.log" 2>&1 ||
  fail "the program started with 30 did not end by itself: $(cat "$work/chain.log")"
[[ -f "$folder/updateexe.bat" ]] || fail "the program started with 30 wrote no updateexe.bat"
replaced() { cmp -s "$folder/Varnokel.exe" "$folder/temp/Varnokel.exe"; }
wait_for 90 replaced || fail "updateexe.bat did not put the new program in place"
wait_for 60 wine_program_runs Varnokel.exe 50 || fail "the new program was not started with 50"
! wine_program_runs Varnokel.exe 51 || fail "the program was started with 51"
pass "self-update chain: 30, updateexe.bat under cmd, program replaced, started with 50"
wineserver -k 2>/dev/null || true

# ---- test programs built for Windows

# Qt's own folder first, so that its plugin folder is the one found.
export WINEPATH="$(zpath "$(readlink -f "$toolchain")/qt-win/bin");$(zpath "$app")"
failed=()
for t in "${windows_tests[@]}"; do
  # Every test function but those left out, in the locale the tests are written
  # for, as their CTest entries give it.
  functions=()
  if [[ " ${windows_tests_left_out[*]} " == *" $t::"* ]]; then
    mapfile -t functions < <(cd "$work" && LC_ALL=C.UTF-8 wine "$build/tests/$t.exe" -functions 2>/dev/null |
                             tr -d '\r' | sed -n 's/()$//p' | grep -vxF -f <(printf '%s\n' "${windows_tests_left_out[@]}" |
                             sed -n "s/^$t:://p"))
    [[ ${#functions[@]} -gt 0 ]] || { failed+=("$t"); continue; }
  fi
  (cd "$work" && LC_ALL=C.UTF-8 timeout 600 wine "$build/tests/$t.exe" "${functions[@]}" \
     -o "$(zpath "$work/results/$t.txt"),txt") >/dev/null 2>&1 ||
    { failed+=("$t"); grep -E '^(FAIL|QFATAL)' -A3 "$work/results/$t.txt" 2>/dev/null | head -20 >&2; }
done
unset WINEPATH
[[ ${#failed[@]} -eq 0 ]] || fail "test programs failed under wine: ${failed[*]} (results in $work/results)"
pass "test programs under wine: ${windows_tests[*]} (left out: ${windows_tests_left_out[*]})"

# ---- the program driven through its remote control

VARNOKEL_WINDOWS_APP=$app VARNOKEL_WINDOWS_E2E=$build/tests/Varnokel-e2e.exe VARNOKEL_WINDOWS_QT=$toolchain/qt-win \
  "$driven_test" || fail "the driven Windows program failed its checks"
pass "driven: price list, quantity, order sent to MariaDB, quantity in the file after closing"

finished=$(date +%s)
echo "times: Windows build $((built - started)) s, wine prefix $((booted - built)) s," \
  "checks $((finished - booted)) s, all $((finished - started)) s"
