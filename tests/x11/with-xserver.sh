#!/usr/bin/env bash
# Runs a command inside a private X server (Xvfb, 1024x768) managed by
# openbox, then stops both. The command sees DISPLAY and QT_QPA_PLATFORM=xcb.
#
# Exit status: the command's, or 77 (the tests' skip code) when a tool is
# missing, or 1 when the server or the window manager does not come up.
set -u

for tool in Xvfb openbox xprop xwininfo xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh test)"
        exit 77
    fi
done
if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/brisko-x11.XXXXXX")
xvfb_pid=
wm_pid=
child_pid=
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    # The command, then the window manager, then the server.
    if [[ -n "$child_pid" ]]; then
        kill -- "-$child_pid" 2>/dev/null && wait "$child_pid" 2>/dev/null
    fi
    for pid in $wm_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# -displayfd picks a free display number and writes it once the server
# accepts connections.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s "$work/display" ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
done
if [[ ! -s "$work/display" ]]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
unset XAUTHORITY WAYLAND_DISPLAY

# openbox with the packaged configuration (or BRISKO_OPENBOX_RC) only, and
# nothing of its own left in the home folder.
wm_args=(--sm-disable)
[[ -n "${BRISKO_OPENBOX_RC:-}" ]] && wm_args+=(--config-file "$BRISKO_OPENBOX_RC")
XDG_CONFIG_HOME="$work" XDG_CACHE_HOME="$work" XDG_DATA_HOME="$work" \
    openbox "${wm_args[@]}" >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.05
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    echo "openbox did not start:" >&2
    cat "$work/openbox.log" >&2
    exit 1
fi

export QT_QPA_PLATFORM=xcb
if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
fi
echo "X server $DISPLAY with openbox is up"
# In the background, so that a TERM from ctest's time-out is handled at once,
# and in a process group of its own, so that it goes with all its children.
set -m
"$@" &
child_pid=$!
set +m
wait "$child_pid"
status=$?
child_pid=
exit "$status"
