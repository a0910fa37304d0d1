#!/usr/bin/env python3
"""The ends that come from outside, on the real brisko binary: SIGTERM, SIGHUP
and SIGINT, and the display going away, are clean ends (what the store holds
back is stored and synced, the flushed copy removed); at the end a value
waiting for another writer's lock is stored once the lock is free, within a
few seconds, and a program that still cannot store it says so.

Usage: ending.py BRISKO BRISKO_REG STORE_DIR
"""

import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BRISKO, BRISKO_REG, STORE_DIR = sys.argv[1:4]
STORE = os.path.join(STORE_DIR, "settings.reg")
failures = []
checks = []


def expect(what, ok):
    checks.append(what)
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def total():
    """The usage total in the file as it stands, or None."""
    r = subprocess.run([BRISKO_REG, "--dir", STORE_DIR, "query", "/v", "js00"],
                       capture_output=True, text=True)
    for line in r.stdout.splitlines():
        if "REG_SZ" in line:
            return int(line.split("REG_SZ", 1)[1])
    return None


def fresh_start(env, platform="offscreen"):
    shutil.rmtree(STORE_DIR, ignore_errors=True)
    os.makedirs(STORE_DIR)
    proc = subprocess.Popen([BRISKO], env=dict(env, QT_QPA_PLATFORM=platform),
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    # Running once the first housekeeping tick has stored the usage total.
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and proc.poll() is None:
        now = total()
        if now is not None and now >= 1:
            return proc, now
        time.sleep(0.1)
    return proc, None


def wait_exit(proc, seconds):
    try:
        return proc.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return None


def copy_left():
    return os.path.exists(STORE + ".flushed")


class Lock:
    """The store's lock, held by this script as another writer would."""

    def __init__(self):
        self.fd = os.open(STORE + ".lock", os.O_RDWR | os.O_CREAT, 0o600)
        fcntl.flock(self.fd, fcntl.LOCK_EX)

    def release(self):
        os.close(self.fd)


def signals(env):
    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        proc, before = fresh_start(env)
        if before is None:
            expect(f"{sig.name}: the program started", False)
            continue
        proc.send_signal(sig)
        code = wait_exit(proc, 5)
        after = total()
        expect(f"{sig.name}: ends with status 0 ({code}), the total stored "
               f"({before} -> {after}), no flushed copy left ({copy_left()})",
               code == 0 and after is not None and after >= before and not copy_left())


def held_lock(env):
    # Its housekeeping values wait while the lock is held; the end waits for
    # the lock and stores them.
    proc, _ = fresh_start(env)
    lock = Lock()
    held_at = total()
    time.sleep(1.5)
    asked = time.monotonic()
    proc.send_signal(signal.SIGTERM)
    time.sleep(1.2)
    waiting = proc.poll() is None
    lock.release()
    code = wait_exit(proc, 6)
    took = time.monotonic() - asked
    after = total()
    expect(f"lock held at SIGTERM: waits for it ({waiting}), then ends with status 0 "
           f"({code}) in {took:.1f} s", waiting and code == 0 and took < 5)
    expect(f"... and stores the total that waited ({held_at} -> {after})",
           held_at is not None and after is not None and after > held_at)

    # A lock that stays held: the end comes within a few seconds and says
    # what it could not store.
    proc, _ = fresh_start(env)
    lock = Lock()
    time.sleep(1.2)
    asked = time.monotonic()
    proc.send_signal(signal.SIGTERM)
    code = wait_exit(proc, 10)
    took = time.monotonic() - asked
    lock.release()
    err = proc.stderr.read()
    expect(f"lock held for good: ends in {took:.1f} s with status {code}",
           code == 0 and 4 <= took < 8)
    expect(f"... saying what it could not store ({err.strip()[-200:]!r})",
           "brisko: " in err and "js00" in err and "not stored" in err)


def display_lost(env):
    if not shutil.which("Xvfb"):
        print("skip the display going away: no Xvfb")
        return
    display = next(n for n in range(70, 200) if not os.path.exists(f"/tmp/.X11-unix/X{n}")
                   and not os.path.exists(f"/tmp/.X{n}-lock"))
    xvfb = subprocess.Popen(["Xvfb", f":{display}", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{display}") and time.monotonic() < deadline:
            time.sleep(0.05)
        proc, before = fresh_start(dict(env, DISPLAY=f":{display}"), platform="xcb")
        xvfb.kill()
        xvfb.wait()
        code = wait_exit(proc, 5)
        after = total()
        expect(f"display gone: the program ends ({code}), the total stored ({before} -> "
               f"{after}), no flushed copy left ({copy_left()})",
               code is not None and before is not None and after is not None
               and after >= before and not copy_left())
    finally:
        if xvfb.poll() is None:
            xvfb.kill()
            xvfb.wait()


def main():
    home = tempfile.mkdtemp(prefix="brisko-ending-home-")
    runtime = tempfile.mkdtemp(prefix="brisko-ending-rt-")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_RUNTIME_DIR=runtime)
    try:
        signals(env)
        held_lock(env)
        display_lost(env)
    finally:
        shutil.rmtree(home, ignore_errors=True)
        shutil.rmtree(runtime, ignore_errors=True)
        shutil.rmtree(STORE_DIR, ignore_errors=True)
        os.makedirs(STORE_DIR)
    print(f"{len(checks) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
