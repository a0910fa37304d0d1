#!/usr/bin/env bash
# The Windows program end to end: builds brisko.exe, its driver and the
# release zip with MinGW-w64, then, in a fresh Wine prefix with no display and
# a Chinese locale, lets the driver (tests/e2e-win) work the real program
# through Win32 messages and the registry, and checks the zip: its contents,
# and that the program unpacked from it into another untouched prefix starts
# and ends on isClose. As with every Wine run, the verdict is the closing
# "N passed, N failed" line, never Wine's exit status.
#
# Environment: BRISKO_WINE_BUILD_DIR (default <repo>/build-wine).
set -euo pipefail
trap 'echo "FAIL wine-e2e stopped at line $LINENO"; echo "0 passed, 1 failed"' ERR

started=$(date +%s%N)
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BRISKO_WINE_BUILD_DIR:-$repo/build-wine}
version=$(sed -n 's/^project(brisko VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
zip_name=brisko-$version-windows.zip

elapsed() {
    local ms=$((($(date +%s%N) - $1) / 1000000))
    printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100))
}
# shellcheck source=scripts/wine-prefix.sh
. "$repo/scripts/wine-prefix.sh"

phase=$(date +%s%N)
wine_packages
echo "wine-e2e: building brisko.exe, the driver and $zip_name with MinGW-w64"
cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DBRISKO_CORE_ONLY=OFF -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$build" -j2 --target brisko drive_brisko windows_zip >/dev/null
exe=$(find "$build" -name brisko.exe -path '*app-win32*' | head -n 1)
driver=$build/tests/e2e-win/drive_brisko.exe
zip=$build/$zip_name
build_ms=$(elapsed "$phase")

work=$(mktemp -d "${TMPDIR:-/tmp}/brisko-e2e.XXXXXX")
prefixes=()
cleanup() {
    local prefix
    for prefix in "${prefixes[@]}"; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Web addresses the program opens go nowhere.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH
wine_environment "$work"

phase=$(date +%s%N)
echo "wine-e2e: making a fresh Wine prefix"
prefixes+=("$work/prefix")
wine_new_prefix "$work/prefix" null
# An untouched copy for the zip's check, cheaper than a second wineboot.
cp -a "$work/prefix" "$work/prefix-zip"
prefixes+=("$work/prefix-zip")
cp -a "$work/prefix" "$work/prefix-144"
prefixes+=("$work/prefix-144")
prefix_ms=$(elapsed "$phase")

passed=0
failed=0
# run_driver <name> <driver arguments...>: runs the driver in the current
# prefix and adds its closing line to the totals.
run_driver() {
    local name=$1
    shift
    wine_run_counted "$name" "$work/driver.log" "$driver" "$@"
}
check() { # check <condition as a command> <what>
    local what=${*: -1}
    if "${@:1:$#-1}"; then
        echo "ok   $what"
        passed=$((passed + 1))
    else
        echo "FAIL $what"
        failed=$((failed + 1))
    fi
}

# --- The program, as a user would have it: in a folder of its own on C: ---
phase=$(date +%s%N)
if [[ -z $exe ]]; then
    echo "FAIL the build made no brisko.exe"
    failed=$((failed + 1))
else
    install_dir=$WINEPREFIX/drive_c/brisko
    mkdir -p "$install_dir"
    cp "$exe" "$install_dir/"
    echo "wine-e2e: driving brisko.exe ($(stat -c %s "$exe") bytes)"
    run_driver drive_brisko 'C:\brisko\brisko.exe'

    # The settings tool on what the program left: names as stored, all values.
    tool=$(dirname "$exe")/brisko-reg.exe
    if [[ -f $tool ]]; then
        wine "$tool" query /v text1 >"$work/tool.raw" 2>&1 || true
        tr -d '\r' <"$work/tool.raw" >"$work/tool.log"
        check grep -qx '    Text1    REG_SZ    abc' "$work/tool.log" \
            "brisko-reg query /v text1 names the value as stored, Text1"
        wine "$tool" query >"$work/tool.raw" 2>&1 || true
        tr -d '\r' <"$work/tool.raw" >"$work/tool.log"
        listed=$(grep -cE '^    (Text1|Left|Top|Check1|Check2|Check3|js00|isClose)    REG_SZ' \
            "$work/tool.log" || true)
        check test "$listed" -eq 8 "brisko-reg query lists all 8 values the program keeps ($listed)"
    fi

    # At 150 % (144 DPI), in an untouched prefix set to it.
    export WINEPREFIX=$work/prefix-144
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
        echo "wine-e2e: could not set LogPixels"
    wineserver -w
    mkdir -p "$WINEPREFIX/drive_c/brisko"
    cp "$exe" "$WINEPREFIX/drive_c/brisko/"
    run_driver "drive_brisko --dpi 144" --dpi 144 'C:\brisko\brisko.exe'
fi
driver_ms=$(elapsed "$phase")

# --- The zip: what it holds, and the program from it in an untouched prefix ---
phase=$(date +%s%N)
if [[ ! -f $zip ]]; then
    echo "FAIL the build made no $zip_name"
    failed=$((failed + 1))
else
    # brisko-reg.exe comes along when the build has it.
    listing=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ' || true)
    folder=brisko-$version
    bare="$folder/README.txt $folder/brisko.exe "
    full="$folder/README.txt $folder/brisko-reg.exe $folder/brisko.exe "
    check test "$listing" = "$full" -o "$listing" = "$bare" \
        "$zip_name holds $listing($(stat -c %s "$zip") bytes)"
    export WINEPREFIX=$work/prefix-zip
    unzip -q "$zip" -d "$WINEPREFIX/drive_c"
    check cmp -s "$WINEPREFIX/drive_c/brisko-$version/brisko.exe" "$exe" \
        "the zip's brisko.exe is the one just built"
    # One file each, nothing beside it: Windows' own DLLs only, and small.
    for program in "$WINEPREFIX/drive_c/brisko-$version"/*.exe; do
        imports=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\tDLL Name: //p' |
            tr '\n' ' ' || true)
        foreign=$(tr ' ' '\n' <<<"$imports" | grep -Eiv \
            '^$|^(advapi32|comctl32|comdlg32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|shlwapi|user32|winhttp|winmm|version|ws2_32)\.dll$' ||
            true)
        check test -z "$foreign" "$(basename "$program") imports only Windows' own DLLs: $imports"
        check test "$(stat -c %s "$program")" -lt 1572864 \
            "$(basename "$program") is under 1.5 MB ($(stat -c %s "$program") bytes)"
    done
    run_driver "drive_brisko --smoke (from the zip)" --smoke "C:\\brisko-$version\\brisko.exe"
    tool=$WINEPREFIX/drive_c/brisko-$version/brisko-reg.exe
    if [[ -f $tool ]]; then
        wine "$tool" query isClose >"$work/tool.log" 2>&1 || true
        check grep -q 'isClose *REG_SZ *1' "$work/tool.log" \
            "the zip's brisko-reg.exe reads the isClose the driver wrote"
    fi
fi
zip_ms=$(elapsed "$phase")

echo "wine-e2e: took $(elapsed "$started") s (build ${build_ms} s, new prefix ${prefix_ms} s," \
    "driver ${driver_ms} s, zip ${zip_ms} s)"
echo "$passed passed, $failed failed"
if [ "$failed" -ne 0 ]; then
    exit 1
fi
