#!/usr/bin/env bash
# The Windows step: builds the Qt-free core, its portable tests and its Windows
# tests (also the program's windows, at 96 and at 144 DPI) with MinGW-w64 and runs them under Wine in a fresh, throwaway prefix,
# with a Chinese locale (so Wine's ANSI code page is 936) and no display. Wine's exit status
# proves nothing (a program it cannot load may still exit 0), so the verdict is
# each test's closing "N passed, N failed" line; this script adds them up, with
# its own check of the browser hand-over, into its own last line.
#
# Environment: BRISKO_WINE_BUILD_DIR (default <repo>/build-wine).
set -euo pipefail
# Whatever stops the script early still ends it with a closing line.
trap 'echo "FAIL wine-test stopped at line $LINENO"; echo "0 passed, 1 failed"' ERR

started=$(date +%s%N)
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BRISKO_WINE_BUILD_DIR:-$repo/build-wine}
test_url=http://127.0.0.1:9/brk/update.asp

# Seconds since a start taken with date +%s%N, to a tenth.
elapsed() {
    local ms=$((($(date +%s%N) - $1) / 1000000))
    printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100))
}
# shellcheck source=scripts/wine-prefix.sh
. "$repo/scripts/wine-prefix.sh"

# --- Packages and the locale (skipped when already there) ---
phase=$(date +%s%N)
wine_packages
setup_ms=$(elapsed "$phase")

# --- Build ---
phase=$(date +%s%N)
echo "wine-test: building the core and its tests with MinGW-w64 (a few minutes the first time)"
cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DBRISKO_CORE_ONLY=OFF -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
# The core's tests that need no POSIX calls: the rules, the settings text and
# the behaviour of the windows on the fakes.
core_tests=(tst_testsupport tst_numbertext tst_durationtext tst_versionrules tst_regtext tst_text
    tst_storerules tst_timingengine tst_startup tst_housekeeping tst_updateflows tst_taskbarprogress)
cmake --build "$build" -j2 --target tst_windows tst_winui tst_wintaskbar "${core_tests[@]}" >/dev/null
exe=$build/tests/windows/tst_windows.exe
ui_exe=$build/tests/windows/tst_winui.exe
build_ms=$(elapsed "$phase")

# --- A fresh Wine prefix, a stand-in browser, and nothing else of the machine ---
work=$(mktemp -d "${TMPDIR:-/tmp}/brisko-wine.XXXXXX")
prefix_made=0
cleanup() {
    if [ "$prefix_made" -eq 1 ]; then
        WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
        WINEPREFIX="$work/prefix-144" wineserver -k 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$work/bin"
# Wine hands web addresses to xdg-open; this one only notes what it was given.
cat >"$work/bin/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>"$work/browser.log"
EOF
chmod +x "$work/bin/xdg-open"

wine_environment "$work"
export PATH=$work/bin:$PATH BRISKO_TEST_URL=$test_url

phase=$(date +%s%N)
echo "wine-test: making a fresh Wine prefix and running the test under Wine (about a minute)"
prefix_made=1
wine_new_prefix "$work/prefix" null
# A copy at 150 % (144 DPI) for the windows' layout, before anything ran.
cp -a "$work/prefix" "$work/prefix-144"
# An outside program asking the program to quit.
wine reg add 'HKLM\SOFTWARE\Pelmora\Brisko' /v isClose /t REG_SZ /d 1 /f /reg:32 >/dev/null 2>&1 ||
    echo "wine-test: reg add of isClose failed"
prefix_ms=$(elapsed "$phase")

# Runs one test under Wine and adds its closing line to the totals.
passed=0
failed=0
run_test() {
    wine_run_counted "$1" "$work/test.log" "$2"
    if [ "$wine_status" -ne 0 ] && [ "$wine_failed_here" -eq 0 ]; then
        echo "FAIL $1 exited with status $wine_status"
        failed=$((failed + 1))
    fi
}

phase=$(date +%s%N)
run_test tst_windows "$exe"
run_test tst_wintaskbar "$build/tests/windows/tst_wintaskbar.exe"
# The windows with the fonts a fresh prefix has (no SimSun), at 96 and 144 DPI.
run_test "tst_winui at 96 DPI" "$ui_exe"
export WINEPREFIX=$work/prefix-144
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
    echo "wine-test: could not set LogPixels"
wineserver -w
run_test "tst_winui at 144 DPI" "$ui_exe"
export WINEPREFIX=$work/prefix
for name in "${core_tests[@]}"; do
    run_test "$name" "$build/tests/core/$name.exe"
done
run_ms=$(elapsed "$phase")

browser=$(cat "$work/browser.log" 2>/dev/null || true)
if [ "$browser" = "$test_url" ]; then
    echo "ok   the address reached the stand-in browser, and nothing else"
    passed=$((passed + 1))
else
    echo "FAIL the stand-in browser got '$browser', want '$test_url'"
    failed=$((failed + 1))
fi

echo "wine-test: took $(elapsed "$started") s (packages and locale ${setup_ms} s," \
    "build ${build_ms} s, new prefix ${prefix_ms} s, tests ${run_ms} s)"
echo "$passed passed, $failed failed"
if [ "$failed" -ne 0 ]; then
    exit 1
fi
