#!/usr/bin/env bash
# Takes the README's pictures of the timer: docs/first-run.png (a first run,
# nothing stored) and docs/countdown.png (倒计时 ticked, menu bar shown, a
# countdown a few seconds in). Runs the real program under a private X server
# with openbox; builds nothing.
#
# Usage: docs/make-screenshots.sh BRISKO BRISKO_REG [OUTPUT_DIR]
#
# BRISKO and BRISKO_REG must come from a build whose settings folder lies
# inside its own build tree (cmake --preset test, or
# -DBRISKO_SETTINGS_DIR=<build>/e2e-store): that folder is emptied first.
# Needs xvfb openbox xdotool x11-utils imagemagick.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [[ $# -lt 2 ]]; then
    echo "usage: $0 BRISKO BRISKO_REG [OUTPUT_DIR]" >&2
    exit 2
fi

if [[ -z "${BRISKO_SHOTS_INSIDE:-}" ]]; then
    for tool in convert import; do
        command -v "$tool" >/dev/null || { echo "$tool (imagemagick) is not installed" >&2; exit 1; }
    done
    # openbox keeps a maximize button on every sizable window whatever the
    # program asks; the pictures show the title bar the program asks for.
    rc=$(mktemp "${TMPDIR:-/tmp}/brisko-shots-rc.XXXXXX")
    trap 'rm -f "$rc"' EXIT
    sed 's|<titleLayout>[A-Z]*</titleLayout>|<titleLayout>NLIC</titleLayout>|' \
        /etc/xdg/openbox/rc.xml >"$rc"
    status=0
    BRISKO_SHOTS_INSIDE=1 BRISKO_OPENBOX_RC="$rc" \
        bash "$here/../tests/x11/with-xserver.sh" bash "$0" "$@" || status=$?
    exit "$status"
fi

brisko=$(realpath "$1")
reg=$(realpath "$2")
out=$(realpath -m "${3:-$here}")
mkdir -p "$out"

# The settings folder the binaries were built with, as brisko-reg names it.
dir=$("$reg" --help | sed -n 's/.*machine-wide folder instead of //p')
build_root=$(cd "$(dirname "$reg")/.." && pwd)
case "$dir" in
"$build_root"/*) ;;
*)
    echo "The settings folder \"$dir\" is not inside the build tree $build_root;" >&2
    echo "configure with -DBRISKO_SETTINGS_DIR=$build_root/e2e-store (or cmake --preset test)." >&2
    exit 1
    ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/brisko-shots.XXXXXX")
program_pid=
stop_program() {
    if [[ -n "$program_pid" ]]; then
        kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null || true
    fi
    program_pid=
}
trap 'stop_program; rm -rf "$work"; rm -f "$dir/settings.reg" "$dir/settings.reg.lock"' EXIT

# A per-user settings file would be read first; keep any out of the way.
export XDG_CONFIG_HOME="$work/config"
export LANG=C.UTF-8

clear_store() {
    mkdir -p "$dir"
    rm -f "$dir/settings.reg" "$dir/settings.reg.lock"
}

# Starts the program and sets win to its window's id.
start_program() {
    "$brisko" >>"$work/brisko.log" 2>&1 &
    program_pid=$!
    win=$(timeout 10 xdotool search --sync --name '^计时器' | head -n1) || true
    if [[ -z "$win" ]]; then
        echo "The program's window did not appear:" >&2
        cat "$work/brisko.log" >&2
        exit 1
    fi
}

# The client area's corner on the screen (xdotool's own geometry counts the
# frame twice under openbox).
client_x() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {print $NF}'; }
client_y() { xwininfo -id "$1" | awk '/Absolute upper-left Y/ {print $NF}'; }
client_h() { xwininfo -id "$1" | awk '/Height:/ {print $NF}'; }

# Writes the window with its frame to a PNG.
shoot() {
    local win=$1 file=$2 l r t b x y w h
    read -r l r t b < <(xprop -id "$win" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,/ /g')
    x=$(client_x "$win")
    y=$(client_y "$win")
    w=$(xwininfo -id "$win" | awk '/Width:/ {print $NF}')
    h=$(client_h "$win")
    # No pointer hovering over a control in the picture.
    xdotool mousemove 1000 750
    sleep 0.3
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$((w + l + r))x$((h + t + b))+$((x - l))+$((y - t))" \
        +repage -strip "$file"
    echo "wrote $file ($(identify -format '%wx%h' "$file"))"
}

# 1. First run: nothing stored.
clear_store
start_program
sleep 1.5 # past the first tick, so the title shows the time as it will from now on
shoot "$win" "$out/first-run.png"
stop_program

# 2. A countdown of the stored 5 minutes, a few seconds in, menu bar shown.
clear_store
"$reg" --dir "$dir" add Check2 " 1" >/dev/null
"$reg" --dir "$dir" add Check3 " 1" >/dev/null
start_program
sleep 0.5
# 开始 sits at (32, 3) in the client area, 56 x 23, below the menu bar; the
# window was made 91 px high plus the bar.
bar=$(($(client_h "$win") - 91))
xdotool mousemove --sync $(($(client_x "$win") + 32 + 28)) $(($(client_y "$win") + bar + 3 + 11)) click 1
sleep 3.4
shoot "$win" "$out/countdown.png"
stop_program
