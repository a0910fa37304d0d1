#!/usr/bin/env python3
"""Runs the real brisko binary (offscreen) against the settings folder the test
build was given, and looks at what it stores with the real brisko-reg."""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

BRISKO, BRISKO_REG, STORE_DIR = sys.argv[1:4]
VENDOR = urllib.parse.urlsplit(sys.argv[4]) if len(sys.argv) > 4 else None
failures = []
checks = []


def reg(*args, check=True):
    r = subprocess.run([BRISKO_REG, "--dir", STORE_DIR, *args], capture_output=True, text=True)
    if check and r.returncode != 0:
        raise RuntimeError(f"brisko-reg {args}: {r.returncode} {r.stderr}")
    return r


def value(name):
    r = reg("query", "/v", name, check=False)
    if r.returncode != 0:
        return None
    # "    Name    REG_SZ    text": the text follows the type and four blanks.
    for line in r.stdout.splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1][4:]
    return None


def expect(what, ok):
    checks.append(what)
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def mapped(pid, pattern):
    with open(f"/proc/{pid}/maps") as f:
        return sorted({m.group(0) for line in f if (m := re.search(pattern, line))})


def start(env):
    return subprocess.Popen([BRISKO], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def wait_exit(proc, seconds):
    try:
        return proc.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        return None


def status_kb(pid, field):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        rest = f.read().rsplit(")", 1)[1].split()
    return (int(rest[11]) + int(rest[12])) / os.sysconf("SC_CLK_TCK")


class HostileVendor:
    """The vendor's address answering the version query with a stream that
    never ends; notes when the client hangs up."""

    def __init__(self, port, mode):
        self.mode = mode
        self.hung_up = None
        self.listener = socket.create_server(("127.0.0.1", port), reuse_port=False)
        self.listener.settimeout(0.2)
        self.stopping = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        conn = None
        while conn is None and not self.stopping:
            try:
                conn, _ = self.listener.accept()
            except socket.timeout:
                pass
        if conn is None:
            return
        conn.settimeout(0.2)
        try:
            conn.recv(4096)
            if self.mode == "chunked body":
                conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
                block = b"4000\r\n" + b"[" * 0x4000 + b"\r\n"
            else:
                conn.sendall(b"HTTP/1.1 200 OK\r\n")
                block = (b"X-Filler: " + b"a" * 100 + b"\r\n") * 100
            while not self.stopping:
                try:
                    conn.sendall(block)
                except socket.timeout:
                    pass
        except OSError:
            self.hung_up = time.monotonic()
        finally:
            conn.close()

    def close(self):
        self.stopping = True
        self.thread.join()
        self.listener.close()


def hostile_vendor(env, normal_peak_kb):
    """The start-up's version query against a vendor that never stops sending:
    it ends within the time-out, the program hangs up, and it neither keeps a
    core busy nor holds more than a few MB above a normal run."""
    if VENDOR is None or VENDOR.hostname != "127.0.0.1" or not VENDOR.port:
        print("skip hostile vendor: the build's vendor address is not on 127.0.0.1")
        return
    for mode in ("chunked body", "header lines"):
        server = HostileVendor(VENDOR.port, mode)
        started = time.monotonic()
        proc = start(env)
        while server.hung_up is None and time.monotonic() - started < 11.5 \
                and proc.poll() is None:
            time.sleep(0.05)
        took = None if server.hung_up is None else server.hung_up - started
        expect(f"endless {mode}: the program hung up ({took and round(took, 2)} s after start)",
               took is not None and took < 11)
        time.sleep(0.5)
        alive = proc.poll() is None
        cpu = None
        if alive:
            before = cpu_seconds(proc.pid)
            time.sleep(1.5)
            cpu = cpu_seconds(proc.pid) - before
        peak = status_kb(proc.pid, "VmHWM")
        # Sanitizers hold freed memory in quarantine and shadow what is used.
        allowance = 40 * 1024 if os.environ.get("BRISKO_SANITIZED") == "1" else 10 * 1024
        expect(f"endless {mode}: no core kept busy afterwards ({cpu} s in 1.5 s)",
               alive and cpu < 0.3)
        expect(f"endless {mode}: peak memory {peak} kB, normal {normal_peak_kb} kB",
               peak is not None and normal_peak_kb is not None
               and peak < normal_peak_kb + allowance)
        server.close()
        if proc.poll() is None:
            proc.terminate()
            proc.wait()


def main():
    shutil.rmtree(STORE_DIR, ignore_errors=True)
    os.makedirs(STORE_DIR)
    home = tempfile.mkdtemp(prefix="brisko-e2e-home-")
    runtime = tempfile.mkdtemp(prefix="brisko-e2e-rt-")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=home,
               XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=runtime)
    try:
        reg("add", "/v", "Text1", "/d", "007", "/f")
        proc = start(env)
        time.sleep(3.5)
        expect("program still running after 3.5 s", proc.poll() is None)
        normal_peak_kb = status_kb(proc.pid, "VmHWM")
        # Qt Multimedia is the alarm module's, loaded at the first alarm.
        needed = subprocess.run(["readelf", "-d", BRISKO], capture_output=True, text=True)
        expect("the program does not link Qt Multimedia",
               needed.returncode == 0 and "NEEDED" in needed.stdout
               and "Multimedia" not in needed.stdout)
        # The version query is libcurl's.
        expect("the program links libcurl, not Qt Network",
               "libcurl.so" in needed.stdout and "Qt6Network" not in needed.stdout)
        media = mapped(proc.pid, r"brisko_alarm_plugin|Multimedia|libgst|libpulse")
        expect(f"no media library mapped without an alarm ({media})", not media)
        # Nothing on the first window is read from an image file.
        images = mapped(proc.pid, r"imageformats/[^/]*$")
        expect(f"no image-format plugin mapped ({images})", not images)
        total = value("js00")
        expect(f"usage total grew by about three ({total!r})",
               total is not None and total.startswith(" ") and 2 <= int(total) <= 4)
        expect(f"Left and Top stored ({value('Left')!r}, {value('Top')!r})",
               value("Left") == "1005" and value("Top") == "1005")
        expect(f"minutes restored and written back ({value('Text1')!r})", value("Text1") == "7")
        expect(f"menu box stored unchecked ({value('Check3')!r})", value("Check3") == " 0")

        asked = time.monotonic()
        reg("add", "isClose", "1")
        code = wait_exit(proc, 5)
        took = time.monotonic() - asked
        expect(f"outside quit request ends it with status 0 in {took:.2f} s",
               code == 0 and took < 1.6)
        if code is None:
            proc.kill()
            proc.wait()

        started = time.monotonic()
        proc = start(env)
        code = wait_exit(proc, 8)
        took = time.monotonic() - started
        expect(f"a new start with the request still set ends by itself ({took:.2f} s)",
               code == 0 and took < 5)
        if code is None:
            proc.kill()
            proc.wait()

        before = int(value("js00"))
        reg("add", "isClose", "2")
        proc = start(env)
        time.sleep(2.5)
        expect("isClose of 2 lets it run", proc.poll() is None)
        reg("delete", "isClose", "/f")
        time.sleep(1.2)
        expect("an absent isClose lets it run", proc.poll() is None)
        expect("usage total continues from the stored one", int(value("js00")) > before)
        proc.terminate()
        proc.wait()

        # Keep-on-top asks the window system for things a platform without a
        # display does not have; every housekeeping tick must survive that.
        reg("add", "Check1", "/d", " 1", "/f")
        for platform in ("offscreen", "minimal"):
            proc = start(dict(env, QT_QPA_PLATFORM=platform))
            time.sleep(2.5)
            code = proc.poll()
            expect(f"keep-on-top ticked under {platform}: still running after 2.5 s ({code})",
                   code is None)
            expect(f"... and the box stays ticked ({value('Check1')!r})", value("Check1") == " 1")
            if code is None:
                proc.terminate()
                proc.wait()
        reg("add", "Check1", "/d", " 0", "/f")

        hostile_vendor(env, normal_peak_kb)
    finally:
        shutil.rmtree(home, ignore_errors=True)
        shutil.rmtree(runtime, ignore_errors=True)

    passed = len(checks) - len(failures)
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
