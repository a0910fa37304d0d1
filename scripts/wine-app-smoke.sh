#!/usr/bin/env bash
# A quick look at the Windows program under Wine, for whoever changes it:
# builds brisko.exe with MinGW-w64, starts it in a fresh prefix with no
# display, lets tests/windows/tst_app_smoke.cpp look at its window, then asks
# it to quit from outside with reg add and checks that it ends with status 0
# within two seconds. Ends with the line "N passed, N failed".
#
# Environment: BRISKO_WIN_BUILD_DIR (default <repo>/build-win).
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BRISKO_WIN_BUILD_DIR:-$repo/build-win}
cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null || exit 1
cmake --build "$build" -j2 --target brisko tst_app_smoke >/dev/null || exit 1

work=$(mktemp -d "${TMPDIR:-/tmp}/brisko-smoke.XXXXXX")
cleanup() {
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all HOME=$work
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

# The program's output goes to a file: a pipe would stay open while it lives.
wine "$build/app-win32/brisko.exe" >"$work/brisko.log" 2>&1 &
program=$!
# Likewise for the test: Wine's helper processes inherit its output.
wine "$build/tests/windows/tst_app_smoke.exe" >"$work/raw.log" 2>&1
tr -d '\r' <"$work/raw.log" >"$work/smoke.log"
sed '$d' "$work/smoke.log"
closing=$(tail -n 1 "$work/smoke.log")
passed=0 failed=1
if [[ $closing =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=${BASH_REMATCH[1]} failed=${BASH_REMATCH[2]}
else
    echo "FAIL the smoke test printed no closing line"
fi

wine reg add 'HKLM\SOFTWARE\Pelmora\Brisko' /v isClose /d 1 /f /reg:32 >/dev/null 2>&1
ended=0
for _ in $(seq 20); do
    if ! kill -0 "$program" 2>/dev/null; then ended=1; break; fi
    sleep 0.1
done
status=0
if [ "$ended" -eq 1 ]; then
    wait "$program" || status=$?
fi
if [ "$ended" -eq 1 ] && [ "$status" -eq 0 ]; then
    echo "ok   isClose set by reg add /reg:32 ends the program with status 0 within 2 s"
    passed=$((passed + 1))
else
    echo "FAIL isClose: ended=$ended status=$status"
    failed=$((failed + 1))
    kill "$program" 2>/dev/null
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
