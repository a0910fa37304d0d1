#!/usr/bin/env python3
"""Measures Brisko against the floor program (bench/floor) in one run and
prints one table with the ratios and the goals.

Both programs run on a private Xvfb with openbox and both ask the vendor's
site once over HTTPS at start: a local server with a certificate made for this
run, that answers "[122]" (up to date) at once. The certificate is trusted
only inside a private mount namespace the script runs itself in (unshare:
root, or unprivileged user namespaces, needed; see Session.trust_only).
Nothing is built here: point --build at a build tree that has brisko,
brisko-reg and the bench_* programs, configured with
BRISKO_VENDOR_URL=https://127.0.0.1:<port> and a settings folder of its own
(see docs/benchmark.md). Needs strace and openssl.

Modes:
  (default)         start-up, memory, CPU, wake-ups, disk writes, flushes and
                    the tick cost (~7 min)
  --quick           the same, shorter and rougher (~3 min), for trying things
  --accuracy [S]    also a stopwatch run of S seconds (600) against the clock
  --soak [MIN]      only the soak: a stopwatch running MIN minutes (30)
"""

import argparse
import ctypes
import datetime
import hashlib
import http.server
import os
import re
import select
import shutil
import signal
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

# Bytes the program itself sent to the disk (/proc/PID/io), kB per minute, on
# 51b3fa1, where the store was rewritten and synced every second: 248 to 408
# in the full runs, idle or counting (docs/benchmark.md). The goal is a tenth.
WRITTEN_BEFORE_KB_MIN = 300
BYTES_GOAL_KB_MIN = WRITTEN_BEFORE_KB_MIN / 10

# The calls that push written data to the disk, counted under strace.
SYNC_CALLS = ("fsync", "fdatasync", "sync_file_range", "msync", "sync", "syncfs")
FLUSH_GOAL_PER_MIN = 2

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


class ThreadCounts:
    """CPU time (ns) and context switches of every thread, summed from a
    starting point. Threads end on their own (Qt's thread pools let idle
    threads go after 30 s), and a sum over the live threads would lose what an
    ended thread did, so the script polls and keeps each thread's last
    figures; a thread that ends loses at most its last poll interval."""

    def __init__(self, pid):
        self.pid = pid
        self.base = None
        self.last = {}

    def _read(self):
        now = {}
        for t in tasks(self.pid):
            try:
                cpu = int(read(f"/proc/{self.pid}/task/{t}/schedstat").split()[0])
                text = read(f"/proc/{self.pid}/task/{t}/status")
            except (OSError, ValueError, IndexError):
                continue
            ctx = sum(int(re.search(rf"^{key}:\s+(\d+)", text, re.M).group(1))
                      for key in ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"))
            now[t] = (cpu, ctx)
        return now

    def start(self):
        self.base = self._read()
        self.last = dict(self.base)

    def poll(self):
        self.last.update(self._read())

    def totals(self):
        """(CPU ns, switches) since start; threads born since count from 0."""
        cpu = sum(v[0] - self.base.get(t, (0, 0))[0] for t, v in self.last.items())
        ctx = sum(v[1] - self.base.get(t, (0, 0))[1] for t, v in self.last.items())
        return cpu, ctx


def io_bytes(pid):
    """Bytes the process (all its threads) caused to be written to the disk,
    and of them the ones it cancelled before they were: dirty pages of a file
    it truncated or replaced (renamed over) before the kernel wrote them."""
    text = read(f"/proc/{pid}/io")
    return tuple(int(re.search(rf"^{key}:\s+(\d+)", text, re.M).group(1))
                 for key in ("write_bytes", "cancelled_write_bytes"))


def sample(pid):
    return {
        "rss": status_kb(pid, "VmRSS"),
        "pss": pss_kb(pid),
        "io": io_bytes(pid),
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


class VendorSite:
    """The vendor's site over HTTPS on 127.0.0.1, with a self-signed
    certificate made for this run. Counts the requests it answered, so a run
    can tell that its program's TLS handshake succeeded."""

    def __init__(self, folder, port):
        self.cert = os.path.join(folder, "vendor-cert.pem")
        key = os.path.join(folder, "vendor-key.pem")
        made = subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", self.cert,
             "-days", "2", "-subj", "/CN=127.0.0.1",
             "-addext", "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1"],
            capture_output=True, text=True)
        if made.returncode != 0:
            sys.exit("openssl could not make the test certificate: " + made.stderr)
        self.answered = 0
        site = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = b"[122]" if self.path == "/brk/newver.htm" else b"not here"
                site.answered += 1
                self.send_response(200 if body == b"[122]" else 404)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        try:
            self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        except OSError as e:
            sys.exit(f"cannot serve the vendor site on port {port}: {e}")
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(self.cert, key)
        self.server.socket = tls.wrap_socket(self.server.socket, server_side=True)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Session:
    def __init__(self, args):
        self.args = args
        self.procs = []
        self.site = None
        self.asked = {}
        self.tmp = tempfile.mkdtemp(prefix="brisko-bench-")
        cache = read(os.path.join(args.build, "CMakeCache.txt"))
        self.store_dir = re.search(r"^BRISKO_SETTINGS_DIR:\w+=(.*)$", cache, re.M).group(1)
        self.vendor = re.search(r"^BRISKO_VENDOR_URL:\w+=(.*)$", cache, re.M).group(1)
        m = re.fullmatch(r"https://127\.0\.0\.1:(\d+)", self.vendor)
        if not m:
            sys.exit(f"{args.build} is built with vendor address {self.vendor}; "
                     "configure it with -DBRISKO_VENDOR_URL=https://127.0.0.1:<port>")
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
        for tool in ("strace", "openssl"):
            if not shutil.which(tool):
                sys.exit(f"{tool} is missing: apt-get install {tool}")
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
        self.site = VendorSite(self.tmp, self.port)
        self.trust_only(self.site.cert)
        trusting = ssl.create_default_context(cafile=self.site.cert)
        with urllib.request.urlopen(f"{self.vendor}/brk/newver.htm", timeout=5,
                                    context=trusting) as page:
            if page.read() != b"[122]":
                sys.exit("the local vendor site answered wrongly")
        self.site.answered = 0
        self.watch = MapWatch(self.env["DISPLAY"])

    def trust_only(self, cert):
        """Makes the test certificate the only trusted one, for this process
        and its children. Qt reads the hashed folders (/etc/ssl/certs...)
        itself and ignores SSL_CERT_FILE and SSL_CERT_DIR; libcurl reads the
        bundle /etc/ssl/certs/ca-certificates.crt and that folder. So a folder
        holding only the certificate, hashed and as the bundle, is mounted
        over /etc/ssl/certs, in the private mount namespace this script runs
        in (see enter_private_mounts)."""
        folder = os.path.join(self.tmp, "certs")
        os.makedirs(folder)
        digest = subprocess.run(["openssl", "x509", "-subject_hash", "-noout", "-in", cert],
                                capture_output=True, text=True, check=True).stdout.strip()
        shutil.copy(cert, os.path.join(folder, digest + ".0"))
        shutil.copy(cert, os.path.join(folder, "ca-certificates.crt"))
        r = subprocess.run(["mount", "--bind", folder, "/etc/ssl/certs"], capture_output=True,
                           text=True)
        if r.returncode != 0:
            sys.exit("cannot mount the test certificate over /etc/ssl/certs: " + r.stderr)

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
        if self.site:
            self.site.close()
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

    def launch(self, program, timeout=30, wrapper=()):
        """Starts a program; returns (process, seconds from exec to mapped,
        monotonic start time). Counts in self.asked whether it asked the
        vendor's site (over HTTPS) before its window showed."""
        self.watch.drain()
        answered = self.site.answered
        started = time.monotonic()
        p = self.spawn([*wrapper, program])
        mapped = self.watch.wait_mapped(timeout)
        if mapped is None:
            self.stop(p)
            sys.exit(f"{program} showed no window within {timeout} s")
        name = "floor" if program == self.floor else "brisko"
        self.asked.setdefault(name, []).append(self.site.answered > answered)
        return p, mapped - started, started

    def window_of(self, pid):
        r = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid)],
                           env=self.env, capture_output=True, text=True, timeout=20)
        return r.stdout.split()[0]

    def press_start(self, pid):
        """The start button has the focus: Space clicks it."""
        wid = self.window_of(pid)
        subprocess.run(["xdotool", "windowactivate", "--sync", wid], env=self.env,
                       capture_output=True, timeout=20)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "space"], env=self.env,
                       capture_output=True, timeout=20)

    def changing(self, pid):
        """Whether the window's contents change within 1.3 s (a running count)."""
        wid = self.window_of(pid)

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
        s.press_start(p.pid)
    time.sleep(max(0, started + 3 - time.monotonic()))
    counts = ThreadCounts(p.pid)
    early = sample(p.pid)
    counts.start()
    while time.monotonic() < started + seconds:
        time.sleep(min(1, max(0, started + seconds - time.monotonic())))
        counts.poll()
    late = sample(p.pid)
    cpu, ctx = counts.totals()
    libs = mapped_libraries(p.pid, r"Multimedia|gst")
    tls = mapped_libraries(p.pid, r"libssl|libcrypto|tlsbackend|opensslbackend|libcurl|libgnutls")
    counting = s.changing(p.pid)
    alive = p.poll() is None
    s.stop(p)
    per_min = 60 / (late["t"] - early["t"])
    return {
        "rss3": early["rss"], "pss3": early["pss"], "rss60": late["rss"], "pss60": late["pss"],
        "cpu_ms_min": cpu / 1e6 * per_min,
        "ctx_min": ctx * per_min,
        "threads_seen": len(counts.last),
        # What reaches the disk: written, less what was cancelled before it was.
        "kb_min": ((late["io"][0] - early["io"][0]) - (late["io"][1] - early["io"][1]))
        / 1024 * per_min,
        "written_kb_min": (late["io"][0] - early["io"][0]) / 1024 * per_min,
        "cancelled_kb_min": (late["io"][1] - early["io"][1]) / 1024 * per_min,
        "threads": late["threads"], "libs": libs, "tls": tls, "counting": counting,
        "alive": alive,
    }


def child_of(pid):
    """The first child of a process (the program strace started)."""
    for _ in range(200):
        try:
            kids = read(f"/proc/{pid}/task/{pid}/children").split()
        except OSError:
            kids = []
        if kids:
            return int(kids[0])
        time.sleep(0.01)
    return None


def measure_flushes(s, program, stopwatch, seconds):
    """A separate run under strace: the calls that push data to the disk,
    counted from 3 s after exec to the end, per minute (the start-up's are
    given apart)."""
    s.reset_store()
    log = os.path.join(s.tmp, "sync-calls.log")
    wall0 = time.time()
    tracer, _, started = s.launch(program, wrapper=(
        "strace", "-f", "-qq", "--seccomp-bpf", "-ttt", "-e", "signal=none",
        "-e", "trace=" + ",".join(SYNC_CALLS), "-o", log))
    pid = child_of(tracer.pid)
    if pid is None:
        sys.exit(f"strace started no {program}")
    if stopwatch:
        time.sleep(0.3)
        s.press_start(pid)
    time.sleep(max(0, started + seconds - time.monotonic()))
    counting = s.changing(pid)
    alive = tracer.poll() is None
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    try:
        tracer.wait(timeout=10)
    except subprocess.TimeoutExpired:
        s.stop(tracer)
    if tracer in s.procs:
        s.procs.remove(tracer)
    begin, end = wall0 + 3, wall0 + seconds
    early = steady = 0
    calls = {}
    call = re.compile(r"^\d+\s+([\d.]+)\s+(" + "|".join(SYNC_CALLS) + r")\(", re.M)
    for at, name in call.findall(read(log)):
        at = float(at)
        if at < begin:
            early += 1
        elif at <= end:
            steady += 1
            calls[name] = calls.get(name, 0) + 1
    return {"per_min": steady * 60 / (end - begin), "startup": early, "calls": calls,
            "counting": counting, "alive": alive}


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
    s.press_start(p.pid)
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
    counting = p.poll() is None and s.changing(p.pid)
    s.stop(p)
    base = [r for r in rows if r[0] >= 60]
    growth = (max(r[1] for r in base) - base[0][1]) if base else None
    return {"rows": rows, "bad": bad, "growth_kb": growth, "counting": counting,
            "baseline_kb": base[0][1] if base else None}


# ---- the table ----------------------------------------------------------------


def ratio_row(name, a, b, fmt, goal=None):
    """A row compared as a ratio; goal is the largest ratio allowed."""
    ratio = a / b if b else None
    goal_text = ok = ""
    if goal is not None:
        goal_text = f"<= {goal}x"
        ok = "ok" if ratio is not None and ratio <= goal else "MISSED"
    return (name, fmt.format(a), fmt.format(b), ratio, goal_text, ok)


def limit_row(name, a, b, fmt, limit, unit):
    """A row with an absolute limit on Brisko's figure; the ratio beside it
    when the floor's is not zero."""
    ratio = a / b if b else None
    return (name, fmt.format(a), fmt.format(b), ratio, f"<= {limit:g} {unit}",
            "ok" if a <= limit else "MISSED")


def print_table(head, rows, markdown):
    if markdown:
        for line in head:
            print(line + "  ")
        print()
        print("| measure | Brisko | floor | ratio | goal |")
        print("|---|---:|---:|---:|---|")
        for name, a, b, ratio, goal, ok in rows:
            ratio_text = f"{ratio:.2f}×" if ratio is not None else "–"
            goal = goal.replace("<=", "≤").replace("x", "×") if goal.endswith("x") else \
                goal.replace("<=", "≤")
            print(f"| {name} | {a} | {b} | {ratio_text} | {goal} {ok} |".replace("  |", " |"))
        return
    for line in head:
        print(line)
    print(f"{'':56}{'Brisko':>11}{'floor':>11}{'ratio':>7}  goal")
    for name, a, b, ratio, goal, ok in rows:
        ratio_text = f"{ratio:.2f}" if ratio is not None else "-"
        print(f"{name:56}{a:>11}{b:>11}{ratio_text:>7}  {goal} {ok}".rstrip())


def cpu_model():
    for line in read("/proc/cpuinfo").splitlines():
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return os.uname().machine


def enter_private_mounts():
    """Runs this script again in a mount namespace of its own, so the test
    certificate can stand in for the system's trusted ones without changing
    them for anybody else. Root, or unprivileged user namespaces, needed."""
    if os.environ.get("BRISKO_BENCH_PRIVATE_MOUNTS") == "1":
        return
    argv = ["unshare", "--mount", "--propagation", "private"]
    if os.getuid() != 0:
        argv += ["--user", "--map-root-user"]
    if not shutil.which("unshare"):
        sys.exit("unshare (util-linux) is missing")
    env = dict(os.environ, BRISKO_BENCH_PRIVATE_MOUNTS="1")
    sys.stdout.flush()
    os.execvpe(argv[0], argv + [sys.executable, os.path.abspath(__file__)] + sys.argv[1:], env)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(here, "..", "build-bench"),
                    help="build tree (default: build-bench)")
    ap.add_argument("--runs", type=int, default=9, help="start-up runs per program (9)")
    ap.add_argument("--seconds", type=int, default=60, help="length of the memory/CPU runs (60)")
    ap.add_argument("--flush-seconds", type=int, default=33,
                    help="length of the runs under strace that count flushes (33)")
    ap.add_argument("--quick", action="store_true",
                    help="7 start-up runs, 20 s runs, 15 s flush runs: for trying things")
    ap.add_argument("--accuracy", type=int, nargs="?", const=600, default=None, metavar="S",
                    help="also run the stopwatch S seconds against the clock (600)")
    ap.add_argument("--soak", type=float, nargs="?", const=30, default=None, metavar="MIN",
                    help="only the soak: a stopwatch running MIN minutes (30)")
    ap.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    if args.quick:
        args.runs, args.seconds, args.flush_seconds = 7, 20, 15
    if args.runs < 7:
        sys.exit("--runs must be at least 7")
    if args.seconds < 10 or args.flush_seconds < 10:
        sys.exit("--seconds and --flush-seconds must be at least 10")
    enter_private_mounts()

    s = Session(args)
    commit = subprocess.run(["git", "-C", here, "log", "-1", "--format=%h (%cs) %s"],
                            capture_output=True, text=True).stdout.strip() or "unknown"
    dirty = subprocess.run(["git", "-C", here, "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout.strip()
    load = os.getloadavg()
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    head = [
        f"date: {now}",
        f"commit: {commit}" + (" + changes in the working tree" if dirty else ""),
        f"machine: {os.cpu_count()} x {cpu_model()}; Linux {os.uname().release}",
        f"build: {args.build}",
    ]
    print("\n".join(head), flush=True)
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
        flushes = {}
        # Each mode's two runs follow each other, so a change in the
        # machine's load falls on the pair rather than between them.
        for mode in ("idle", "stopwatch"):
            for name, program in (("floor", s.floor), ("brisko", s.brisko)):
                print(f"{name}, {mode}: {args.seconds} s ...", flush=True)
                runs[name, mode] = measure_running(s, program, mode == "stopwatch",
                                                   args.seconds)
        for mode in ("idle", "stopwatch"):
            for name, program in (("floor", s.floor), ("brisko", s.brisko)):
                print(f"{name}, {mode}, flushes under strace: {args.flush_seconds} s ...",
                      flush=True)
                flushes[name, mode] = measure_flushes(s, program, mode == "stopwatch",
                                                      args.flush_seconds)
        print("tick cost ...", flush=True)
        tick = run_tick_cost(s)
        accuracy = None
        if args.accuracy:
            print(f"tick accuracy: {args.accuracy} s ...", flush=True)
            accuracy = measure_accuracy(s, args.accuracy)
    finally:
        s.close()
    end_load = os.getloadavg()
    head.append(f"load average: {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} at the start, "
                f"{end_load[0]:.2f} {end_load[1]:.2f} {end_load[2]:.2f} at the end")

    rows = []
    b_med = statistics.median(startup["brisko"])
    f_med = statistics.median(startup["floor"])
    rows.append(ratio_row(f"start-up, exec to window mapped, ms (median of {args.runs})",
                          b_med, f_med, "{:.0f}", 1.15))
    for mode in ("idle", "stopwatch"):
        b, f = runs["brisko", mode], runs["floor", mode]
        for key, label in (("rss3", "RSS at 3 s"), ("pss3", "PSS at 3 s"),
                           ("rss60", f"RSS at {args.seconds} s"),
                           ("pss60", f"PSS at {args.seconds} s")):
            # PSS shares pages out among every process that maps them, other
            # people's Qt programs included: shown, not judged.
            rows.append(ratio_row(f"{label}, {mode}, MB", b[key] / 1024, f[key] / 1024,
                                  "{:.1f}", 1.15 if key.startswith("rss") else None))
    for mode in ("idle", "stopwatch"):
        b, f = runs["brisko", mode], runs["floor", mode]
        rows.append(ratio_row(f"CPU, {mode}, ms per minute", b["cpu_ms_min"], f["cpu_ms_min"],
                              "{:.0f}", 1.25))
        rows.append(ratio_row(f"context switches, {mode}, per minute", b["ctx_min"],
                              f["ctx_min"], "{:.0f}", 1.25))
    for mode in ("idle", "stopwatch"):
        b, f = flushes["brisko", mode], flushes["floor", mode]
        rows.append(limit_row(f"flushes, {mode}, per minute (strace)", b["per_min"],
                              f["per_min"], "{:.1f}", FLUSH_GOAL_PER_MIN, "a minute"))
    for mode in ("idle", "stopwatch"):
        b, f = runs["brisko", mode], runs["floor", mode]
        rows.append(limit_row(f"bytes written to disk, {mode}, kB per minute", b["kb_min"],
                              f["kb_min"], "{:.1f}", BYTES_GOAL_KB_MIN,
                              f"(a tenth of {WRITTEN_BEFORE_KB_MIN})"))
    rows.append(("housekeeping tick, file store, us (median; mean)",
                 f"{tick.get('median', 0):.0f}; {tick.get('mean', 0):.0f}", "", None, "", ""))
    if accuracy:
        behind = accuracy["behind"]
        rows.append((f"stopwatch behind the clock after {args.accuracy} s, s",
                     f"{behind:.3f}" if behind is not None else "n/a", "", None, "< 0.5 s",
                     "ok" if behind is not None and behind < 0.5 else "MISSED"))

    print()
    print_table(head, rows, args.markdown)
    print()
    if args.markdown:
        print("```")
    print("start-up runs, ms: Brisko " + " ".join(f"{t:.0f}" for t in startup["brisko"]) +
          "; floor " + " ".join(f"{t:.0f}" for t in startup["floor"]))
    for (name, mode), r in sorted(runs.items()):
        print(f"{name} {mode}: {r['threads']} threads at the end, {r['threads_seen']} in all; "
              f"label counting: "
              f"{'yes' if r['counting'] else 'no'}; still running: "
              f"{'yes' if r['alive'] else 'NO'}; TLS and HTTP libraries mapped: "
              f"{', '.join(r['tls']) or 'none'}; multimedia libraries mapped: "
              f"{', '.join(r['libs']) or 'none'}; kB a minute written "
              f"{r['written_kb_min']:.1f}, cancelled {r['cancelled_kb_min']:.1f}")
    for (name, mode), r in sorted(flushes.items()):
        calls = ", ".join(f"{k} {v}" for k, v in sorted(r["calls"].items())) or "none"
        print(f"{name} {mode} under strace: {r['startup']} flushes in the first 3 s; "
              f"after them: {calls}; label counting: {'yes' if r['counting'] else 'no'}")
    asked = {n: f"{sum(v)} of {len(v)}" for n, v in s.asked.items()}
    print(f"runs that asked the vendor's site over HTTPS before their window showed: "
          f"Brisko {asked.get('brisko')}, floor {asked.get('floor')}")
    if accuracy:
        print(accuracy["report"])
        hk = accuracy["housekeeping_behind"]
        print("real program, housekeeping ticks (usage total) behind the clock: " +
              (f"{hk:.3f} s" if hk is not None else "n/a") +
              f"; still running: {'yes' if accuracy['alive'] else 'NO'}")
    every = list(runs.items()) + list(flushes.items())
    problems = [f"{n} {m} did not count" for (n, m), r in every
                if r["counting"] != (m == "stopwatch")]
    problems += [f"{n} {m} ended early" for (n, m), r in every if not r["alive"]]
    problems += [f"{n}: {v.count(False)} runs did not reach the vendor's site over HTTPS"
                 for n, v in s.asked.items() if not all(v)]
    for p in problems:
        print("PROBLEM: " + p)
    if args.markdown:
        print("```")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
