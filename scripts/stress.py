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
3. Power cuts (root, loop devices, xfsprogs and e2fsprogs; skipped otherwise):
   on loop-mounted XFS and ext4 in the modes the store meets, the program runs
   on a folder of the file system while brisko-reg writes beside it and into
   it, and `xfs_io -x -c shutdown` stops all I/O at a random moment. Mounted
   again, the store must read, every value brisko-reg wrote before the cut
   must be there, the usage total must not go back, and housekeeping writes
   must be left unsynced exactly where the file system is known to allow it.
   A read-only mount then sends brisko-reg to the user's own file.

Usage: stress.py BRISKO BRISKO_REG STORE_DIR [--kills N] [--seconds S] [--cuts N]
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
import threading
import time
import zlib

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


# ---- Power cuts --------------------------------------------------------------

# File systems as the store meets them: whether a housekeeping write may be left
# unsynced there (the store syncs every write where a cut may bring back a file
# at its new length over stale blocks, or where it cannot tell).
CUT_MODES = [
    # name, mkfs command, tune2fs defaults, mount options, writes left unsynced
    ("XFS", ["mkfs.xfs", "-q", "-f"], None, "", True),
    ("ext4, data=ordered", ["mkfs.ext4", "-q", "-F"], None, "", True),
    ("ext4, data=writeback as the superblock's default, nodelalloc",
     ["mkfs.ext4", "-q", "-F"], "journal_data_writeback", "nodelalloc", False),
    ("ext4, noauto_da_alloc", ["mkfs.ext4", "-q", "-F"], None, "noauto_da_alloc", False),
]


def why_no_power_cuts():
    if os.geteuid() != 0:
        return "not root"
    if not os.path.exists("/dev/loop-control"):
        return "no loop devices"
    for tool in ("mkfs.xfs", "mkfs.ext4", "tune2fs", "xfs_io", "mount", "umount"):
        if not shutil.which(tool):
            return f"no {tool}"
    return None


def sh(*args, check=True):
    r = subprocess.run(list(args), capture_output=True, text=True)
    if check and r.returncode != 0:
        raise RuntimeError(f"{' '.join(args)}: {r.returncode} {r.stderr.strip()}")
    return r


class Writer:
    """brisko-reg writing Seq = 1, 2, 3... as fast as it can into a store of
    its own beside the program's (whose syncs put the program's unsynced
    renames into the file system's log), and, when told to, every fourth
    number into the program's store too; it notes when each write returned
    success."""

    def __init__(self, shared, own, first, share):
        self.shared, self.own, self.n, self.share = shared, own, first, share
        self.acked = {"shared": [], "own": []}
        self.stopping = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopping:
            self.n += 1
            for which, store in (("own", self.own), ("shared", self.shared)):
                if which == "shared" and (not self.share or self.n % 4):
                    continue
                if store.run("add", "Seq", str(self.n)).returncode == 0:
                    self.acked[which].append((self.n, time.monotonic()))

    def stop(self):
        self.stopping = True
        self.thread.join()


def whole_text(path):
    """Whether the file ends in a check line that matches the text before it
    ("; check: <bytes> bytes, crc32 <hex>")."""
    try:
        with open(path, "rb") as f:
            text = f.read()
    except OSError:
        return False
    at = text.rfind(b"\n", 0, len(text) - 1) + 1
    body = text[:at]
    return text.endswith(b"\n") and text[at:] == \
        f"; check: {len(body)} bytes, crc32 {zlib.crc32(body):08x}\n".encode()


def inodes(folder):
    try:
        return (os.stat(os.path.join(folder, "settings.reg")).st_ino,
                os.stat(os.path.join(folder, "settings.reg.flushed")).st_ino)
    except OSError:
        return None


def power_cuts(brisko, reg_tool, program_dir, env, cuts):
    """Real power cuts on loop-mounted file systems: `xfs_io -x -c shutdown`
    stops all I/O at once, as a cut would, while the program and brisko-reg
    write; then the file system is mounted again and read."""
    why = why_no_power_cuts()
    if why:
        print(f"== power cuts: skipped ({why})", flush=True)
        return why
    print(f"== power cuts: {cuts} per file system while the program and brisko-reg write",
          flush=True)
    base = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    work = tempfile.mkdtemp(prefix="brisko-cuts-", dir=base)
    mnt = os.path.join(work, "mnt")
    os.makedirs(mnt)
    os.makedirs(program_dir, exist_ok=True)
    rng = random.Random(20240612)
    pad = "".join(chr(ord("a") + k % 26) for k in range(12000))  # the store spans pages
    mounted = []

    def mount(*args):
        sh("mount", *args)
        mounted.append(args[-1])

    def umount(where):
        sh("umount", where)
        mounted.remove(where)

    try:
        for name, mkfs, defaults, options, unsynced in CUT_MODES:
            image = os.path.join(work, "fs.img")
            with open(image, "wb") as f:
                f.truncate(320 << 20)
            sh(*mkfs, image)
            if defaults:
                sh("tune2fs", "-o", defaults, image)
            opts = "loop" + ("," + options if options else "")
            store = Store(reg_tool, os.path.join(mnt, "store"), env)
            neighbour = Store(reg_tool, os.path.join(mnt, "other"), env)
            total = seq = torn = 0
            bad = []
            modes = []
            for cut in range(1, cuts + 1):
                mount("-o", opts, image, mnt)
                os.makedirs(store.folder, exist_ok=True)
                mount("--bind", store.folder, program_dir)
                if cut == 1:
                    store.run("add", "Pad", pad)
                    store.run("add", "Text1", "7")
                program = subprocess.Popen([brisko], env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
                # Two ticks alone: the first write of a run is synced, the next
                # shows whether housekeeping is left unsynced here.
                deadline = time.monotonic() + 10
                while time.monotonic() < deadline:
                    values = store.query() or {}
                    if re.fullmatch(r" \d+", values.get("js00", "")) and \
                            int(values["js00"]) >= total + 2:
                        break
                    time.sleep(0.1)
                pair = inodes(store.folder)
                modes.append(pair is not None and pair[0] != pair[1])
                # Every other cut leaves the program's store to the program.
                writer = Writer(store, neighbour, seq, share=cut % 2 == 1)
                time.sleep(rng.uniform(1.0, 3.0))
                cut_at = time.monotonic()
                sh("xfs_io", "-x", "-c", "shutdown", mnt)
                writer.stop()
                program.kill()
                program.wait()
                umount(program_dir)
                umount(mnt)
                acked = {which: [n for n, t in done if t < cut_at]
                         for which, done in writer.acked.items()}
                seq = writer.n

                mount("-o", opts, image, mnt)
                torn += not whole_text(os.path.join(store.folder, "settings.reg"))
                r = store.run("query")
                values = (store.query() or {}) if r.returncode == 0 else {}
                problems = []
                if r.returncode != 0 or not values:
                    problems.append(f"the store cannot be read ({r.returncode}, "
                                    f"{r.stderr.strip()[:200]!r})")
                if values.get("Pad") != pad or values.get("Text1") != "7":
                    problems.append("a value set before the run is lost or torn")
                for which, value in (("shared", values.get("Seq", "")),
                                     ("own", (neighbour.query() or {}).get("Seq", ""))):
                    if acked[which] and not (value.isdigit() and
                                             int(value) >= max(acked[which])):
                        problems.append(f"Seq in the {which} store reads {value[:20]!r} after "
                                        f"{max(acked[which])} was written")
                js00 = values.get("js00", "")
                if not re.fullmatch(r" \d+", js00) or int(js00) < total:
                    problems.append(f"the usage total went from {total} to {js00!r}")
                for n in ("Left", "Top"):
                    if not re.fullmatch(r"\d+", values.get(n, "")):
                        problems.append(f"{n} reads {values.get(n)!r}")
                bad += [f"cut {cut}: {p}" for p in problems]
                if re.fullmatch(r" \d+", js00):
                    total = int(js00)
                umount(mnt)
            check(f"{name}: {cuts} cuts ({torn} left the file cut off, read from its synced "
                  f"copy), every value written before the cut read back, the total never "
                  f"going back (now {total}), the store always readable"
                  + ("; " + "; ".join(bad[:4]) if bad else ""), not bad)
            check(f"{name}: housekeeping writes left unsynced: {modes} (expected {unsynced})",
                  all(m == unsynced for m in modes))

        # A read-only file system is one the machine-wide file may not be
        # written on: the value goes to the user's own file.
        mount("-o", "loop,ro", image, mnt)
        r = store.run("add", "isClose", "1")
        user_file = os.path.join(env["XDG_CONFIG_HOME"], "brisko", "settings.reg")
        check(f"read-only file system: brisko-reg stores in the user's own file "
              f"({r.returncode}, {r.stderr.strip()[:160]!r})",
              r.returncode == 0 and "Read-only file system" in r.stderr
              and os.path.exists(user_file))
        if os.path.exists(user_file):
            os.unlink(user_file)
    finally:
        for m in reversed(mounted):
            subprocess.run(["umount", "-l", m], capture_output=True)
        shutil.rmtree(work, ignore_errors=True)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("brisko")
    ap.add_argument("brisko_reg")
    ap.add_argument("store_dir")
    ap.add_argument("--kills", type=int, default=200)
    ap.add_argument("--seconds", type=int, default=45)
    ap.add_argument("--cuts", type=int, default=3)
    args = ap.parse_args()

    tmp = tempfile.mkdtemp(prefix="brisko-stress-")
    runtime = os.path.join(tmp, "runtime")
    os.makedirs(runtime, mode=0o700)
    # No per-user file: every write goes to the one shared file.
    env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "config"),
               XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen")
    store = Store(args.brisko_reg, args.store_dir, env)
    existed = os.path.isdir(args.store_dir)
    skipped = None
    try:
        killed_writers(store, args.kills)
        two_copies(store, args.brisko, args.seconds, env)
        if args.cuts > 0:
            skipped = power_cuts(args.brisko, args.brisko_reg, args.store_dir, env, args.cuts)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
        # Leave no "isClose" behind for the next program the build's tests
        # start: the folder ends empty, as it was found or absent.
        shutil.rmtree(args.store_dir, ignore_errors=True)
        if existed:
            os.makedirs(args.store_dir)
    note = f" (power cuts skipped: {skipped})" if skipped else ""
    print(("FAILED: " + str(len(failures))) + note if failures else
          "all stress checks passed" + note)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
