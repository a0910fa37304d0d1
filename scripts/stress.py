#!/usr/bin/env python3
"""Stress checks of the settings store with the real binaries (run through
scripts/stress.sh).

1. Killed writers: brisko-reg writes a new value over an old one next to a
   large neighbour and is killed with SIGKILL at a random moment of its run,
   again and again. After every kill the file must parse and hold exactly the
   old or exactly the new value, with the neighbour intact.
2. Two copies: two copies of the real program (offscreen) run side by side,
   each writing its position and usage total every second, while this script
   writes values of its own with brisko-reg. No value written may be lost or
   torn, every read of the store must succeed, and both copies must keep
   running until told to quit through "isClose".

Usage: stress.py BRISKO BRISKO_REG STORE_DIR [--kills N] [--seconds S]
"""

import argparse
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

failures = []


def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


class Store:
    def __init__(self, tool, folder, env):
        self.tool, self.folder, self.env = tool, folder, env

    def run(self, *args):
        return subprocess.run([self.tool, "--dir", self.folder, *args], capture_output=True,
                              text=True, env=self.env)

    def popen(self, *args):
        return subprocess.Popen([self.tool, "--dir", self.folder, *args],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                env=self.env)

    def query(self):
        """Every value as {name: text}, or None when the store cannot be read.

        Lines are "    Name    REG_SZ    text"; texts here never hold a line
        feed."""
        r = self.run("query")
        if r.returncode != 0:
            return None
        values = {}
        for line in r.stdout.splitlines():
            m = re.match(r"^    (.+?)    (REG_\w+)    (.*)$", line)
            if m:
                values[m.group(1)] = m.group(3)
            elif re.match(r"^    (.+?)    (REG_\w+)$", line):
                values[line.split()[0]] = ""
        return values


def payload(n):
    # Long and different in every position, so a torn value cannot pass.
    return "-".join(f"{n}:{k}" for k in range(60))


def killed_writers(store, kills):
    print(f"== killed writers: {kills} SIGKILLs at random moments of a write", flush=True)
    shutil.rmtree(store.folder, ignore_errors=True)
    os.makedirs(store.folder)
    # Large neighbours make each write long enough to be caught in the middle
    # (one argument may hold at most 128 kB).
    pads = {f"Pad{k}": chr(ord("a") + k) * 100_000 for k in range(3)}
    for name, text in [*pads.items(), ("Count", payload(0))]:
        if store.run("add", name, text).returncode != 0:
            return check("the first writes succeed", False)

    # How long one write takes, to spread the kills over a whole run.
    took = []
    for n in range(1, 8):
        t = time.monotonic()
        store.run("add", "Count", payload(n))
        took.append(time.monotonic() - t)
    span = statistics.median(took) * 1.2
    print(f"     one write takes {statistics.median(took) * 1000:.1f} ms; "
          f"kills fall within the first {span * 1000:.1f} ms", flush=True)

    current = 7
    done = {"killed, old value kept": 0, "killed, new value in place": 0}
    finished = 0
    bad = 0
    rng = random.Random(20240611)
    rounds = 0
    while sum(done.values()) < kills and rounds < kills * 20:
        rounds += 1
        new = current + 1
        writer = store.popen("add", "Count", payload(new))
        time.sleep(rng.uniform(0, span))
        writer.send_signal(signal.SIGKILL)
        status = writer.wait()
        values = store.query()
        count = values.get("Count") if values else None
        if values is None or any(values.get(n) != t for n, t in pads.items()) or count not in (
                payload(current), payload(new)):
            bad += 1
            shown = "unreadable" if values is None else repr((count or "")[:40])
            check(f"after kill {rounds}: file parses, neighbour intact, Count old or new "
                  f"(got {shown})", False)
            if bad > 5:
                break
            current = new
            continue
        if status == -signal.SIGKILL:
            done["killed, new value in place" if count == payload(new)
                 else "killed, old value kept"] += 1
        else:
            finished += 1
        if count == payload(new):
            current = new
    total = sum(done.values())
    print(f"     {rounds} writers started: {done['killed, old value kept']} killed before "
          f"their value was in place, {done['killed, new value in place']} killed after, "
          f"{finished} finished before the kill", flush=True)
    check(f"{total} writers killed (at least {kills}), every file read back whole", bad == 0 and
          total >= kills)
    check("kills landed both before and after the replacement",
          all(v > 0 for v in done.values()))
    ok = store.run("add", "Count", "after").returncode == 0 and \
        (store.query() or {}).get("Count") == "after"
    check("a write after all the kills succeeds", ok)
    leftovers = sorted(set(os.listdir(store.folder)) - {"settings.reg", "settings.reg.lock"})
    check(f"nothing left behind in the store folder ({leftovers})", not leftovers)


def two_copies(store, brisko, seconds, env):
    print(f"== two copies of the program for {seconds} s while brisko-reg writes", flush=True)
    shutil.rmtree(store.folder, ignore_errors=True)
    os.makedirs(store.folder)
    # A stopwatch in one copy, and the menu bar shown: both stored up front.
    for name, data in (("Text1", "5"), ("Check3", " 1")):
        store.run("add", name, data)
    copies = [subprocess.Popen([brisko], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True) for _ in range(2)]
    time.sleep(2.5)

    written = {}
    shared = 0
    reads = unreadable = torn = 0
    lost = []
    start = time.monotonic()
    highest_total = 0
    i = 0
    while time.monotonic() - start < seconds:
        i += 1
        name = f"Stress{i}"
        if store.run("add", name, payload(i)).returncode != 0:
            lost.append(f"{name} not written")
        written[name] = payload(i)
        shared += 1
        store.run("add", "Shared", str(shared))
        if i % 5 == 0:
            values = store.query()
            reads += 1
            if values is None:
                unreadable += 1
                continue
            for n, v in written.items():
                if values.get(n) != v:
                    lost.append(f"{n} read {values.get(n, '(absent)')[:30]!r} after {i} writes")
            if values.get("Shared") != str(shared):
                lost.append(f"Shared read {values.get('Shared')!r}, last written {shared}")
            for n, pattern in (("js00", r" \d+"), ("Left", r"\d+"), ("Top", r"\d+")):
                if not re.fullmatch(pattern, values.get(n, "")):
                    torn += 1
                    print(f"     {n} = {values.get(n)!r}", flush=True)
            if re.fullmatch(r" \d+", values.get("js00", "")):
                highest_total = max(highest_total, int(values["js00"]))
            if len(lost) > 5:
                break
    running = [c.poll() is None for c in copies]
    print(f"     {i} values written by brisko-reg, {reads} full reads", flush=True)
    check(f"every read of the store succeeded ({unreadable} of {reads} failed)", unreadable == 0)
    check("no value lost or changed" + (": " + "; ".join(lost[:5]) if lost else ""), not lost)
    check(f"the program's own values always whole ({torn} torn)", torn == 0)
    # Each copy counts from 0 and stores its own total every second.
    check(f"the stored usage total kept pace ({highest_total} after about {seconds} s)",
          highest_total >= seconds * 0.8)
    check(f"both copies still running after {seconds} s", all(running))

    asked = time.monotonic()
    store.run("add", "isClose", "1")
    codes = []
    for c in copies:
        try:
            codes.append(c.wait(timeout=10))
        except subprocess.TimeoutExpired:
            c.kill()
            codes.append(None)
    took = time.monotonic() - asked
    check(f"both copies ended with status 0 on isClose within {took:.1f} s ({codes})",
          codes == [0, 0] and took < 5)
    for c in copies:
        err = c.stderr.read()
        if "ERROR" in err or "runtime error" in err:
            check("no sanitizer report from the program", False)
            print(err[-3000:])
    final = store.query() or {}
    check("all values still there at the end",
          all(final.get(n) == v for n, v in written.items()))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("brisko")
    ap.add_argument("brisko_reg")
    ap.add_argument("store_dir")
    ap.add_argument("--kills", type=int, default=200)
    ap.add_argument("--seconds", type=int, default=45)
    args = ap.parse_args()

    tmp = tempfile.mkdtemp(prefix="brisko-stress-")
    runtime = os.path.join(tmp, "runtime")
    os.makedirs(runtime, mode=0o700)
    # No per-user file: every write goes to the one shared file.
    env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "config"),
               XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen")
    store = Store(args.brisko_reg, args.store_dir, env)
    existed = os.path.isdir(args.store_dir)
    try:
        killed_writers(store, args.kills)
        two_copies(store, args.brisko, args.seconds, env)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
        # Leave no "isClose" behind for the next program the build's tests
        # start: the folder ends empty, as it was found or absent.
        shutil.rmtree(args.store_dir, ignore_errors=True)
        if existed:
            os.makedirs(args.store_dir)
    print(("FAILED: " + str(len(failures))) if failures else "all stress checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
