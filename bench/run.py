#!/usr/bin/env python3
"""Measures Brisko against the floor program (bench/floor) in one run and
prints one table with the ratios and the goals.

Both programs run on a private Xvfb with openbox; Brisko's vendor site is a
local server that answers "[122]" (up to date) at once. Nothing is built here:
point --build at a build tree that has brisko, brisko-reg and the bench_*
programs, configured with BRISKO_VENDOR_URL on 127.0.0.1 and a settings folder
of its own (see docs/benchmark.md).

Modes:
  (default)         start-up, memory, CPU, wake-ups and the tick cost (~5 min)
  --accuracy [S]    also a stopwatch run of S seconds (600) against the clock
  --soak [MIN]      only the soak: a stopwatch running MIN minutes (30)
"""

import argparse
import ctypes
import hashlib
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

# ---- X11: the moment a top-level window is mapped -------------------------


class MapWatch:
    """Listens on the root window for MapNotify of a managed (framed) window.

    With a window manager, a client's window is reparented into a frame and
    the frame is mapped on the root: that is when the window appears."""

    MAP_NOTIFY = 19
    SUBSTRUCTURE_NOTIFY_MASK = 1 << 19

    def __init__(self, display):
        x = ctypes.cdll.LoadLibrary("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x = x
        self.dpy = x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open display {display}")
        x.XSelectInput(self.dpy, x.XDefaultRootWindow(self.dpy), self.SUBSTRUCTURE_NOTIFY_MASK)
        x.XSync(self.dpy, 0)
        self.fd = x.XConnectionNumber(self.dpy)
        self.event = ctypes.create_string_buffer(192)

    def drain(self):
        self.x.XSync(self.dpy, 0)
        while self.x.XPending(self.dpy):
            self.x.XNextEvent(self.dpy, self.event)

    def wait_mapped(self, timeout):
        """Monotonic time of the next map of a managed window, or None."""
        deadline = time.monotonic() + timeout
        while True:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, self.event)
                raw = self.event.raw
                kind = int.from_bytes(raw[0:4], "little")
                # XMapEvent on x86-64: override_redirect at offset 48.
                if kind == self.MAP_NOTIFY and int.from_bytes(raw[48:52], "little") == 0:
                    return time.monotonic()
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)


# ---- /proc ------------------------------------------------------------------


def read(path):
    with open(path) as f:
        return f.read()


def status_kb(pid, field):
    m = re.search(rf"^{field}:\s+(\d+) kB", read(f"/proc/{pid}/status"), re.M)
    return int(m.group(1)) if m else 0


def pss_kb(pid):
    m = re.search(r"^Pss:\s+(\d+) kB", read(f"/proc/{pid}/smaps_rollup"), re.M)
    return int(m.group(1))


def tasks(pid):
    return os.listdir(f"/proc/{pid}/task")


def cpu_ns(pid):
    """CPU time of all live threads, in ns (schedstat), or from /proc/PID/stat
    (clock ticks, all threads ever) when schedstat is missing."""
    total = 0
    try:
        for t in tasks(pid):
            total += int(read(f"/proc/{pid}/task/{t}/schedstat").split()[0])
        return total
    except (OSError, ValueError, IndexError):
        fields = read(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) * 1e9 / os.sysconf("SC_CLK_TCK")


def switches(pid):
    """Voluntary and involuntary context switches, summed over the threads."""
    total = 0
    for t in tasks(pid):
        try:
            text = read(f"/proc/{pid}/task/{t}/status")
        except OSError:
            continue
        for key in ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"):
            total += int(re.search(rf"^{key}:\s+(\d+)", text, re.M).group(1))
    return total


def sample(pid):
    return {
        "rss": status_kb(pid, "VmRSS"),
        "pss": pss_kb(pid),
        "cpu": cpu_ns(pid),
        "ctx": switches(pid),
        "threads": len(tasks(pid)),
        "t": time.monotonic(),
    }


def mapped_libraries(pid, pattern):
    found = set()
    for line in read(f"/proc/{pid}/maps").splitlines():
        parts = line.split(None, 5)
        if len(parts) == 6 and re.search(pattern, parts[5]):
            found.add(os.path.basename(parts[5]))
    return sorted(found)


# ---- the session: Xvfb, openbox, the vendor's site, the store -------------


class Session:
    def __init__(self, args):
        self.args = args
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="brisko-bench-")
        cache = read(os.path.join(args.build, "CMakeCache.txt"))
        self.store_dir = re.search(r"^BRISKO_SETTINGS_DIR:\w+=(.*)$", cache, re.M).group(1)
        self.vendor = re.search(r"^BRISKO_VENDOR_URL:\w+=(.*)$", cache, re.M).group(1)
        m = re.fullmatch(r"http://127\.0\.0\.1:(\d+)", self.vendor)
        if not m:
            sys.exit(f"{args.build} is built with vendor address {self.vendor}; "
                     "configure it with -DBRISKO_VENDOR_URL=http://127.0.0.1:<port>")
        self.port = int(m.group(1))
        b = args.build
        self.brisko = os.path.join(b, "app", "brisko")
        self.reg_tool = os.path.join(b, "tools", "brisko-reg")
        self.floor = os.path.join(b, "bench", "bench_floor")
        self.tick_cost = os.path.join(b, "bench", "bench_tick_cost")
        self.tick_accuracy = os.path.join(b, "bench", "bench_tick_accuracy")
        for p in (self.brisko, self.reg_tool, self.floor, self.tick_cost, self.tick_accuracy):
            if not os.access(p, os.X_OK):
                sys.exit(f"missing {p}: build the targets brisko brisko-reg bench_floor "
                         "bench_tick_cost bench_tick_accuracy first")
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("QT_")}
        self.env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_RUNTIME_DIR=runtime)

    def start(self):
        r, w = os.pipe()
        self.xvfb = self.spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                                "-nolisten", "tcp"], pass_fds=(w,))
        os.close(w)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(r, 16)
            if not chunk:
                sys.exit("Xvfb did not start")
            number += chunk
        os.close(r)
        self.env["DISPLAY"] = ":" + number.decode().strip()
        self.spawn(["openbox", "--sm-disable"])
        for _ in range(100):
            probe = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                                   capture_output=True, text=True)
            if "window id" in probe.stdout:
                break
            time.sleep(0.05)
        else:
            sys.exit("openbox did not start")
        site = os.path.join(self.tmp, "site")
        os.makedirs(os.path.join(site, "brk"))
        with open(os.path.join(site, "brk", "newver.htm"), "w") as f:
            f.write("[122]")
        self.spawn([sys.executable, "-m", "http.server", "--bind", "127.0.0.1",
                    "--directory", site, str(self.port)])
        for _ in range(100):
            try:
                import urllib.request
                with urllib.request.urlopen(f"{self.vendor}/brk/newver.htm", timeout=1) as page:
                    if page.read() == b"[122]":
                        break
            except OSError:
                time.sleep(0.05)
        else:
            sys.exit(f"the local vendor site on port {self.port} did not answer "
                     "(is the port taken?)")
        self.watch = MapWatch(self.env["DISPLAY"])

    def spawn(self, argv, **kw):
        p = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, **kw)
        self.procs.append(p)
        return p

    def stop(self, p):
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if p in self.procs:
            self.procs.remove(p)

    def close(self):
        for p in reversed(list(self.procs)):
            self.stop(p)
        shutil.rmtree(self.tmp, ignore_errors=True)

    # The store: the values a user who shows the menu bar would have.
    def reg(self, *argv):
        return subprocess.run([self.reg_tool, "--dir", self.store_dir, *argv],
                              capture_output=True, text=True, env=self.env)

    def reset_store(self, minutes="5"):
        shutil.rmtree(self.store_dir, ignore_errors=True)
        os.makedirs(self.store_dir)
        for name, data in (("Text1", minutes), ("Check1", " 0"), ("Check2", " 0"),
                           ("Check3", " 1")):
            if self.reg("add", name, data).returncode != 0:
                sys.exit(f"brisko-reg could not write {name}")

    def value(self, name):
        r = self.reg("query", "/v", name)
        if r.returncode != 0:
            return None
        for line in r.stdout.splitlines():
            if "REG_SZ" in line:
                return line.split("REG_SZ", 1)[1][4:]
        return None

    # ---- one program run ----

    def launch(self, program, timeout=30):
        """Starts a program; returns (process, seconds from exec to mapped)."""
        self.watch.drain()
        started = time.monotonic()
        p = self.spawn([program])
        mapped = self.watch.wait_mapped(timeout)
        if mapped is None:
            self.stop(p)
            sys.exit(f"{program} showed no window within {timeout} s")
        return p, mapped - started, started

    def window_of(self, p):
        r = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(p.pid)],
                           env=self.env, capture_output=True, text=True, timeout=20)
        return r.stdout.split()[0]

    def press_start(self, p):
        """The start button has the focus: Space clicks it."""
        wid = self.window_of(p)
        subprocess.run(["xdotool", "windowactivate", "--sync", wid], env=self.env,
                       capture_output=True, timeout=20)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "space"], env=self.env,
                       capture_output=True, timeout=20)

    def changing(self, p):
        """Whether the window's contents change within 1.3 s (a running count)."""
        wid = self.window_of(p)

        def shot():
            r = subprocess.run(["import", "-window", wid, "rgb:-"], env=self.env,
                               capture_output=True, timeout=20)
            return hashlib.sha256(r.stdout).hexdigest()

        first = shot()
        time.sleep(1.3)
        return shot() != first


# ---- the measurements ---------------------------------------------------------


def measure_startup(s, runs):
    times = {"brisko": [], "floor": []}
    programs = {"brisko": s.brisko, "floor": s.floor}
    for i in range(runs + 1):  # the first round warms the caches
        for name in ("floor", "brisko"):
            s.reset_store()
            p, took, _ = s.launch(programs[name])
            s.stop(p)
            if i > 0:
                times[name].append(took * 1000)
            time.sleep(0.3)
    return times


def measure_running(s, program, stopwatch, seconds):
    s.reset_store()
    p, _, started = s.launch(program)
    if stopwatch:
        time.sleep(0.3)
        s.press_start(p)
    time.sleep(max(0, started + 3 - time.monotonic()))
    early = sample(p.pid)
    time.sleep(max(0, started + seconds - time.monotonic()))
    late = sample(p.pid)
    libs = mapped_libraries(p.pid, r"Multimedia|gst")
    counting = s.changing(p)
    alive = p.poll() is None
    s.stop(p)
    span = late["t"] - early["t"]
    return {
        "rss3": early["rss"], "pss3": early["pss"], "rss60": late["rss"], "pss60": late["pss"],
        "cpu_ms_min": (late["cpu"] - early["cpu"]) / 1e6 / span * 60,
        "ctx_s": (late["ctx"] - early["ctx"]) / span,
        "threads": late["threads"], "libs": libs, "counting": counting, "alive": alive,
    }


def run_tick_cost(s):
    r = subprocess.run([s.tick_cost, "500"], env=dict(s.env, QT_QPA_PLATFORM="offscreen"),
                       capture_output=True, text=True, timeout=300)
    got = dict(re.findall(r"^\s+(mean|median|p95|max)\s+([\d.]+) us", r.stdout, re.M))
    return {k: float(v) for k, v in got.items()}


def measure_accuracy(s, seconds):
    """The stopwatch (bench_tick_accuracy) and, beside it, the real program's
    housekeeping ticks counted through the stored usage total."""
    harness = subprocess.Popen([s.tick_accuracy, str(seconds)], env=s.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    s.reset_store()
    p, _, _ = s.launch(s.brisko)

    def first_reading(at_least, limit):
        while time.monotonic() < limit:
            v = s.value("js00")
            if v is not None and int(v) >= at_least:
                return time.monotonic(), int(v)
            time.sleep(0.01)
        return None, None

    t_first, n_first = first_reading(1, time.monotonic() + 10)
    time.sleep(max(0, seconds - 1.5))
    t_last, n_last = first_reading(n_first + seconds, time.monotonic() + 10)
    alive = p.poll() is None
    s.stop(p)
    out, _ = harness.communicate(timeout=seconds + 120)
    m = re.search(r"accuracy_behind_s=([-\d.]+)", out)
    housekeeping = None
    if t_first is not None and t_last is not None:
        housekeeping = (t_last - t_first) - (n_last - n_first)
    return {
        "report": out.strip(), "behind": float(m.group(1)) if m else None,
        "ok": harness.returncode == 0, "housekeeping_behind": housekeeping, "alive": alive,
    }


def soak(s, minutes, interval):
    """The real program with a stopwatch running; its alarm (the fallback tone,
    as no sound file lies beside the build) falls into the first minute, so
    everything it loads is in place before the baseline."""
    s.reset_store(minutes="0.5")
    p, _, started = s.launch(s.brisko)
    time.sleep(0.3)
    s.press_start(p)
    rows = []
    bad = []
    end = started + minutes * 60
    next_at = started + interval
    while time.monotonic() < end:
        time.sleep(max(0, next_at - time.monotonic()))
        next_at += interval
        if p.poll() is not None:
            bad.append(f"program ended with status {p.returncode}")
            break
        rss = status_kb(p.pid, "VmRSS")
        q = s.reg("query")
        total = s.value("js00")
        valid = q.returncode == 0 and total is not None and re.fullmatch(r" \d+", total)
        if not valid:
            bad.append(f"store unreadable at {time.monotonic() - started:.0f} s: "
                       f"{q.returncode} {q.stdout!r} {q.stderr!r}")
        rows.append((time.monotonic() - started, rss, total))
        print(f"  {rows[-1][0]:7.0f} s  RSS {rss} kB  js00 {total!r}", flush=True)
    counting = p.poll() is None and s.changing(p)
    s.stop(p)
    base = [r for r in rows if r[0] >= 60]
    growth = (max(r[1] for r in base) - base[0][1]) if base else None
    return {"rows": rows, "bad": bad, "growth_kb": growth, "counting": counting,
            "baseline_kb": base[0][1] if base else None}


# ---- the table ----------------------------------------------------------------


def verdict(ratio, goal):
    return "ok" if ratio <= goal else "MISSED"


def print_table(rows, markdown):
    head = ("measure", "Brisko", "floor", "ratio", "goal", "")
    if markdown:
        print("| " + " | ".join(head[:5]) + " |")
        print("|" + "|".join(["---"] + ["---:"] * 4) + "|")
        for r in rows:
            name, a, b, ratio, goal, ok = r
            goal_text = f"≤ {goal}× {ok}" if goal else ""
            ratio_text = f"{ratio:.2f}×" if ratio is not None else ""
            print(f"| {name} | {a} | {b} | {ratio_text} | {goal_text} |")
        return
    print(f"{'':58}{'Brisko':>10}{'floor':>10}{'ratio':>8}  goal")
    for name, a, b, ratio, goal, ok in rows:
        ratio_text = f"{ratio:.2f}" if ratio is not None else ""
        goal_text = f"<= {goal}  {ok}" if goal else ""
        print(f"{name:58}{a:>10}{b:>10}{ratio_text:>8}  {goal_text}")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(here, "..", "build-bench"),
                    help="build tree (default: build-bench)")
    ap.add_argument("--runs", type=int, default=9, help="start-up runs per program (9)")
    ap.add_argument("--seconds", type=int, default=60, help="length of the memory/CPU runs (60)")
    ap.add_argument("--accuracy", type=int, nargs="?", const=600, default=None, metavar="S",
                    help="also run the stopwatch S seconds against the clock (600)")
    ap.add_argument("--soak", type=float, nargs="?", const=30, default=None, metavar="MIN",
                    help="only the soak: a stopwatch running MIN minutes (30)")
    ap.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    if args.runs < 7:
        sys.exit("--runs must be at least 7")

    s = Session(args)
    commit = subprocess.run(["git", "-C", here, "describe", "--always", "--dirty"],
                            capture_output=True, text=True).stdout.strip() or "unknown"
    load = os.getloadavg()
    print(f"machine: {os.cpu_count()} cores, load {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}; "
          f"{os.uname().release}; source {commit}; build {args.build}", flush=True)
    try:
        s.start()
        if args.soak is not None:
            print(f"soak: stopwatch running for {args.soak:g} min, a sample every 10 s",
                  flush=True)
            r = soak(s, args.soak, 10)
            print(f"RSS after the first minute {r['baseline_kb']} kB, grew by "
                  f"{r['growth_kb']} kB (goal < 1024 kB); store valid at "
                  f"{len(r['rows']) - len(r['bad'])} of {len(r['rows'])} samples; "
                  f"still counting at the end: {'yes' if r['counting'] else 'NO'}")
            for b in r["bad"]:
                print("  " + b)
            ok = (not r["bad"] and r["growth_kb"] is not None and r["growth_kb"] < 1024
                  and r["counting"])
            print("soak " + ("PASSED" if ok else "FAILED"))
            return 0 if ok else 1

        print(f"start-up: {args.runs} runs each ...", flush=True)
        startup = measure_startup(s, args.runs)
        runs = {}
        for name, program in (("floor", s.floor), ("brisko", s.brisko)):
            for mode in ("idle", "stopwatch"):
                print(f"{name}, {mode}: {args.seconds} s ...", flush=True)
                runs[name, mode] = measure_running(s, program, mode == "stopwatch",
                                                   args.seconds)
        print("tick cost ...", flush=True)
        tick = run_tick_cost(s)
        accuracy = None
        if args.accuracy:
            print(f"tick accuracy: {args.accuracy} s ...", flush=True)
            accuracy = measure_accuracy(s, args.accuracy)
    finally:
        s.close()

    rows = []
    b_med = statistics.median(startup["brisko"])
    f_med = statistics.median(startup["floor"])
    ratio = b_med / f_med
    rows.append((f"start-up, exec to window mapped, ms (median of {args.runs})",
                 f"{b_med:.0f}", f"{f_med:.0f}", ratio, 1.2, verdict(ratio, 1.2)))
    for mode in ("idle", "stopwatch"):
        b, f = runs["brisko", mode], runs["floor", mode]
        for key, label in (("rss3", "RSS at 3 s"), ("pss3", "PSS at 3 s"),
                           ("rss60", f"RSS at {args.seconds} s"),
                           ("pss60", f"PSS at {args.seconds} s")):
            ratio = b[key] / f[key]
            rows.append((f"{label}, {mode}, MB", f"{b[key] / 1024:.1f}", f"{f[key] / 1024:.1f}",
                         ratio, 1.3, verdict(ratio, 1.3)))
    for mode in ("idle", "stopwatch"):
        b, f = runs["brisko", mode], runs["floor", mode]
        ratio = b["cpu_ms_min"] / f["cpu_ms_min"]
        rows.append((f"CPU, {mode}, ms per minute", f"{b['cpu_ms_min']:.0f}",
                     f"{f['cpu_ms_min']:.0f}", ratio, 1.5, verdict(ratio, 1.5)))
        ratio = b["ctx_s"] / f["ctx_s"]
        rows.append((f"context switches, {mode}, per second", f"{b['ctx_s']:.2f}",
                     f"{f['ctx_s']:.2f}", ratio, 1.5, verdict(ratio, 1.5)))
    rows.append(("housekeeping tick, file store, us (median; mean)",
                 f"{tick.get('median', 0):.0f}; {tick.get('mean', 0):.0f}", "", None, None, ""))
    if accuracy:
        behind = accuracy["behind"]
        rows.append((f"stopwatch behind the clock after {args.accuracy} s, s",
                     f"{behind:.3f}" if behind is not None else "n/a", "", None, None,
                     "goal < 0.5 s: " + ("ok" if behind is not None and behind < 0.5
                                          else "MISSED")))

    print()
    print_table(rows, args.markdown)
    print()
    print("start-up runs, ms: Brisko " + " ".join(f"{t:.0f}" for t in startup["brisko"]) +
          "; floor " + " ".join(f"{t:.0f}" for t in startup["floor"]))
    for (name, mode), r in sorted(runs.items()):
        print(f"{name} {mode}: {r['threads']} threads; label counting: "
              f"{'yes' if r['counting'] else 'no'}; still running: "
              f"{'yes' if r['alive'] else 'NO'}; multimedia libraries mapped: "
              f"{', '.join(r['libs']) or 'none'}")
    if accuracy:
        print(accuracy["report"])
        hk = accuracy["housekeeping_behind"]
        print("real program, housekeeping ticks (usage total) behind the clock: " +
              (f"{hk:.3f} s" if hk is not None else "n/a") +
              f"; still running: {'yes' if accuracy['alive'] else 'NO'}")
    problems = [f"{n} {m} did not count" for (n, m), r in runs.items()
                if r["counting"] != (m == "stopwatch")]
    problems += [f"{n} {m} ended early" for (n, m), r in runs.items() if not r["alive"]]
    for p in problems:
        print("PROBLEM: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
