#!/usr/bin/env python3
"""The real program under X (run through with-xserver.sh) on a private session
bus: what a dock reads of a countdown. dbus-monitor records the launcher
entry's Update signals while a three-second countdown (0.05 minutes) runs
twice: once ending behind another program's window, which must leave the
progress rising a third each second, then cleared with urgent set, and the
window manager's attention hint on the window until it is activated; once
paused as it starts and ending in front, which must send nothing more while
paused and end without urgent or hint.

Usage: program_taskbar.py BRISKO BRISKO_REG SETTINGS_DIR"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

BRISKO, REG, STORE_DIR = sys.argv[1:4]
APP_URI = "application://brisko.desktop"
failures = []


def expect(what, ok):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    return predicate()


def xdotool(*args):
    try:
        return subprocess.run(["xdotool", *args], capture_output=True, text=True,
                              timeout=15).stdout.split()
    except subprocess.TimeoutExpired:
        return []


def demands_attention(win):
    state = subprocess.run(["xprop", "-id", win, "_NET_WM_STATE"], capture_output=True,
                           text=True).stdout
    return "_NET_WM_STATE_DEMANDS_ATTENTION" in state


class Monitor:
    """dbus-monitor's record of the launcher entry's signals, parsed."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "monitor.log")
        self.out = open(self.path, "w")
        self.proc = subprocess.Popen(
            ["dbus-monitor", "--session",
             "type='signal',interface='com.canonical.Unity.LauncherEntry'"],
            stdout=self.out, stderr=subprocess.DEVNULL)
        # Its own name arrives first: from then on it is listening.
        wait_for(lambda: "NameAcquired" in open(self.path).read(), 5)

    def updates(self):
        found = []
        for block in re.split(r"^(?=signal )", open(self.path).read(), flags=re.M):
            if "member=Update" not in block:
                continue
            u = {"time": float(re.search(r"time=([\d.]+)", block).group(1)),
                 "path": re.search(r"path=([^;]+);", block).group(1),
                 "uri": re.search(r'^\s*string "([^"]*)"', block, re.M).group(1)}
            for name, kind, value in re.findall(
                    r'string "([\w-]+)"\s*variant\s+(double|boolean)\s+(\S+)', block):
                u[name] = float(value) if kind == "double" else value == "true"
            found.append(u)
        return found

    def close(self):
        self.proc.terminate()
        self.proc.wait()
        self.out.close()


def shown(updates):
    return [(round(u.get("progress", -1), 3), u.get("progress-visible"), u.get("urgent"))
            for u in updates]


def behind_another_window(mon, win, other):
    """The countdown ends while xmessage has the focus."""
    xdotool("windowactivate", "--sync", win)
    xdotool("key", "--clearmodifiers", "space")
    xdotool("windowactivate", "--sync", other)
    ended = wait_for(lambda: any(u.get("urgent") for u in mon.updates()), 6)
    got = mon.updates()
    expect(f"behind: the progress rises a third a second, then is cleared with urgent set "
           f"({shown(got)})",
           ended and shown(got) == [(0, True, False), (0.333, True, False),
                                    (0.667, True, False), (0, False, True)])
    gaps = [round(b["time"] - a["time"], 2) for a, b in zip(got, got[1:])]
    # Never closer than the one-second gap; late only by a busy machine.
    expect(f"behind: one signal a second ({gaps})", all(0.9 <= g <= 1.5 for g in gaps))
    expect("behind: every signal names application://brisko.desktop from a launcher-entry path",
           all(u["uri"] == APP_URI and
               u["path"].startswith("/com/canonical/unity/launcherentry/") for u in got))
    expect("behind: the window manager's attention hint is on the window",
           wait_for(lambda: demands_attention(win), 2))

    count = len(got)
    xdotool("windowactivate", "--sync", win)
    back = wait_for(lambda: len(mon.updates()) > count, 3)
    expect(f"behind: urgent is cleared once the window is active ({shown(mon.updates()[count:])})",
           back and shown(mon.updates()[count:]) == [(0, False, False)])
    expect("behind: the hint goes when the window is active",
           wait_for(lambda: not demands_attention(win), 2))


def paused_in_front(mon, win):
    """Start and pause at once, continue, end with the window active."""
    count = len(mon.updates())
    xdotool("windowactivate", "--sync", win)
    # 开始 still has the focus from the first run; 暂停, shown by the start,
    # is the next in tab order. One command, so the pause comes well before
    # the first tick however busy the machine is.
    xdotool("key", "--clearmodifiers", "space", "Tab", "space")
    started = wait_for(lambda: len(mon.updates()) > count, 2)
    paused_at = len(mon.updates())
    time.sleep(1.6)
    expect(f"paused: nothing more sent while paused ({shown(mon.updates()[count:])})",
           started and len(mon.updates()) == paused_at == count + 1)
    xdotool("key", "--clearmodifiers", "space")
    wait_for(lambda: any(not u.get("progress-visible") for u in mon.updates()[paused_at:]), 5)
    got = mon.updates()[count:]
    expect(f"paused: stands, rises once continued and is cleared without urgent ({shown(got)})",
           shown(got) == [(0, True, False), (0.333, True, False), (0.667, True, False),
                          (0, False, False)])
    time.sleep(0.3)
    expect("paused: no attention hint on the active window", not demands_attention(win))


def main():
    if not (shutil.which("dbus-run-session") and shutil.which("dbus-monitor")):
        print("SKIP: dbus-run-session and dbus-monitor are needed (dbus-daemon, dbus-bin)")
        return 77
    if os.environ.get("BRISKO_PRIVATE_BUS") != "1":
        # Again, inside a session bus of its own that ends with it.
        env = dict(os.environ, BRISKO_PRIVATE_BUS="1")
        return subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv],
                              env=env).returncode

    folder = tempfile.mkdtemp(prefix="brisko-taskbar-")
    procs = []
    try:
        shutil.rmtree(STORE_DIR, ignore_errors=True)
        os.makedirs(STORE_DIR)
        for name, data in (("Text1", "0.05"), ("Check2", " 1"), ("Check3", " 0")):
            subprocess.run([REG, "--dir", STORE_DIR, "add", name, data], check=True,
                           capture_output=True)
        mon = Monitor(folder)
        procs.append(mon)
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"))
        log = open(os.path.join(folder, "brisko.log"), "wb")
        brisko = subprocess.Popen([BRISKO], stdout=log, stderr=log, env=env)
        other = subprocess.Popen(["xmessage", "-title", "brisko-taskbar-other", "-geometry",
                                  "200x80+500+400", "another program"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wins = xdotool("search", "--sync", "--onlyvisible", "--pid", str(brisko.pid))
        others = xdotool("search", "--sync", "--onlyvisible", "--name", "^brisko-taskbar-other$")
        expect("the two windows appeared", bool(wins and others))
        if wins and others:
            time.sleep(0.5)
            expect("nothing sent by an idle window", not mon.updates())
            behind_another_window(mon, wins[0], others[0])
            paused_in_front(mon, wins[0])
            expect("still running", brisko.poll() is None)
        for p in (brisko, other):
            p.terminate()
            p.wait()
        log.close()
    finally:
        for p in procs:
            p.close()
        shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(STORE_DIR, ignore_errors=True)
    print("FAILED" if failures else "PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
