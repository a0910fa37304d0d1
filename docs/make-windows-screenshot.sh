#!/usr/bin/env bash
# Takes the README's picture of the Windows program: docs/windows-countdown.png,
# brisko.exe under Wine with 倒计时 ticked and the menu bar shown, a countdown a
# few seconds in; beside it windows-about.png and windows-update.png. Runs in
# a private X server with no window manager, so Wine draws the window's frame
# itself as Windows would. The prefix is a fresh one, without SimSun, as on a
# Windows without the Chinese supplemental fonts: the program picks the Song
# face Debian ships (AR PL UMing CN) by itself. Uses a throwaway Wine prefix.
#
# Usage: docs/make-windows-screenshot.sh BRISKO_EXE DRIVE_BRISKO_EXE [OUTPUT_DIR [DPI]]
# (both from a MinGW-w64 build, e.g. scripts/wine-e2e.sh's build-wine). At a
# DPI other than 96 (LogPixels in the prefix) the files end in -<DPI>dpi.
# Needs wine, xvfb, imagemagick, fonts-arphic-uming, and fonts-wine for the
# caption buttons (Marlett).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [[ $# -lt 2 ]]; then
    echo "usage: $0 BRISKO_EXE DRIVE_BRISKO_EXE [OUTPUT_DIR]" >&2
    exit 2
fi
exe=$(realpath "$1")
driver=$(realpath "$2")
out=$(realpath -m "${3:-$here}")
dpi=${4:-96}
suffix=
[[ $dpi == 96 ]] || suffix=-${dpi}dpi
mkdir -p "$out"
if [[ ! -e /usr/share/wine/fonts/marlett.ttf ]]; then
    echo "fonts-wine is not installed: the caption buttons would show as letters" >&2
    exit 1
fi
for tool in Xvfb wine import convert; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done
# shellcheck source=scripts/wine-prefix.sh
. "$here/../scripts/wine-prefix.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/brisko-winshot.XXXXXX")
xvfb_pid=
cleanup() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 "$((800 * dpi / 96))x$((600 * dpi / 96))x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s "$work/display" ]] && break
    sleep 0.05
done
DISPLAY=:$(cat "$work/display")
export DISPLAY

WINE_KEEP_DISPLAY=1 wine_environment "$work"
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH=$work/bin:$PATH
wine_new_prefix "$work/prefix" x11
key='HKLM\SOFTWARE\Pelmora\Brisko'
{
    # Unmanaged windows: Wine draws the caption and frame.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
    wine reg add "$key" /v Check2 /d " 1" /f /reg:32
    wine reg add "$key" /v Check3 /d " 1" /f /reg:32
    wine reg add "$key" /v Left /d 1500 /f /reg:32
    wine reg add "$key" /v Top /d 1500 /f /reg:32
} >/dev/null 2>&1
# The caption buttons are Marlett glyphs; Wine finds the face in the prefix.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
mkdir -p "$WINEPREFIX/drive_c/brisko" "$WINEPREFIX/drive_c/shots"
cp "$exe" "$WINEPREFIX/drive_c/brisko/"

# The driver poses the countdown, then saves each window as the screen shows it.
wine "$driver" --pose 3 --shots 'C:\shots' 'C:\brisko\brisko.exe' >"$work/driver.log" 2>&1 || true
wineserver -w
for name in main:countdown about:about update:update; do
    picture=$WINEPREFIX/drive_c/shots/${name%%:*}.bmp
    if [[ ! -s $picture ]]; then
        echo "No picture of the ${name%%:*} window:" >&2
        tr -d '\r' <"$work/driver.log" >&2
        exit 1
    fi
    convert "$picture" -strip "$out/windows-${name#*:}$suffix.png"
    echo "wrote $out/windows-${name#*:}$suffix.png ($(identify -format '%wx%h' "$picture"))"
done
