#!/usr/bin/env bash
# The real program under X (run through with-xserver.sh): "Check1" stored as
# " 1" puts the window above others from the first housekeeping tick on, without
# taking the focus from another program; a click on 置最前 stores " 0" and puts
# it back among ordinary windows at the next tick. Same X window throughout.
#
# Usage: program_on_top.sh BRISKO BRISKO_REG SETTINGS_DIR
# SETTINGS_DIR is the folder the program was built to use; its settings file
# is removed before and after.
set -u
brisko=$1 reg=$2 dir=$3

if ! command -v xmessage >/dev/null 2>&1; then
    echo "SKIP: xmessage (x11-utils) is not installed"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/brisko-ontop.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -f "$dir/settings.reg" "$dir/settings.reg.lock"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "FAIL: $*"
    exit 1
}
now_ms() { date +%s%3N; }
has_above() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | while read -r w; do echo $((w)); done; }
# True when window $1 is above window $2.
above() {
    local w seen_lower=0
    for w in $(stacking); do
        [[ $w == "$2" ]] && seen_lower=1
        [[ $w == "$1" ]] && return $((1 - seen_lower))
    done
    return 1
}
active() { echo $(($(xprop -root _NET_ACTIVE_WINDOW | grep -o '0x[0-9a-f]*'))); }
# wait_for MS COMMAND...: polls every 50 ms; prints the milliseconds it took.
wait_for() {
    local limit=$1 start
    shift
    start=$(now_ms)
    while ! "$@"; do
        (($(now_ms) - start > limit)) && return 1
        sleep 0.05
    done
    echo $(($(now_ms) - start))
}

# A per-user settings file would be read first; keep any out of the way.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$dir"
rm -f "$dir/settings.reg" "$dir/settings.reg.lock"
"$reg" --dir "$dir" add Check1 " 1" >/dev/null || fail "brisko-reg add"
"$reg" --dir "$dir" add Check3 " 0" >/dev/null || fail "brisko-reg add"
"$reg" --dir "$dir" add Left 1500 >/dev/null || fail "brisko-reg add"
"$reg" --dir "$dir" add Top 1500 >/dev/null || fail "brisko-reg add"

"$brisko" >"$work/brisko.log" 2>&1 &
pids+=($!)
win=$(timeout 10 xdotool search --sync --name '^计时器' | head -n1)
[[ -n "$win" ]] || fail "the window did not appear"
shown_at=$(now_ms)

# Another program's ordinary window over ours, with the focus.
xmessage -geometry 300x120+80+80 "another program" 2>/dev/null &
pids+=($!)
other=$(timeout 10 xdotool search --sync --name '^xmessage$' | head -n1)
[[ -n "$other" ]] || fail "xmessage did not appear"
xdotool windowactivate --sync "$other"

wait_for 2500 has_above "$win" >/dev/null || fail "no _NET_WM_STATE_ABOVE 2.5 s after the window appeared"
echo "on top $(($(now_ms) - shown_at)) ms after the window appeared"
wait_for 1000 above "$win" "$other" >/dev/null || fail "not stacked above the other window ($win over $other): $(stacking | tr "\n" " ")"
sleep 2.2 # two more ticks
above "$win" "$other" || fail "no longer above the other window"
[[ $(active) == "$other" ]] || fail "keep-on-top took the focus from the other window"
[[ $(xdotool search --name '^计时器' | head -n1) == "$win" ]] || fail "the window was re-created"

# 置最前 sits at (8, 72) in the client area; there is no menu bar.
# (xdotool's getwindowgeometry counts the frame twice under openbox.)
x=$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {print $NF}')
y=$(xwininfo -id "$win" | awk '/Absolute upper-left Y/ {print $NF}')
xdotool mousemove --sync $((x + 16)) $((y + 80)) click 1
ms=$(wait_for 2500 bash -c "! xprop -id $win _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE") ||
    fail "_NET_WM_STATE_ABOVE still set 2.5 s after unticking 置最前"
echo "ordinary again $ms ms after the click"
"$reg" --dir "$dir" query Check1 | grep -q 'REG_SZ     0$' || fail "Check1 not stored as \" 0\""
xdotool windowactivate --sync "$other"
wait_for 1000 above "$other" "$win" >/dev/null || fail "the other window cannot cover it again"
sleep 1.2
above "$other" "$win" || fail "an ordinary tick raised the window"
[[ $(xdotool search --name '^计时器' | head -n1) == "$win" ]] || fail "the window was re-created"
kill -0 "${pids[0]}" 2>/dev/null || fail "the program ended: $(cat "$work/brisko.log")"
echo "PASS"
