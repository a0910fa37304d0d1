#!/usr/bin/env python3
"""The real program under X (run through with-xserver.sh): the media libraries
are mapped only once an alarm sounds. A copy of the program and its alarm
module runs from a folder of its own, once with a sound.mp3 beside it and once
without (the tone's turn); 0.2 minutes make the alarm fall due two seconds
after 开始, which Space presses (the button has the focus).

Usage: program_alarm.py BRISKO ALARM_MODULE BRISKO_REG SETTINGS_DIR"""

import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

BRISKO, MODULE, REG, STORE_DIR = sys.argv[1:5]
MEDIA = re.compile(r"brisko_alarm_plugin|libQt6Multimedia|libgst")
failures = []


def expect(what, ok):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def media_mapped(pid):
    with open(f"/proc/{pid}/maps") as f:
        return sorted({os.path.basename(m.group(0)) for line in f
                       if (m := MEDIA.search(line))})


def wait_for(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


def clear_store():
    for name in ("settings.reg", "settings.reg.lock"):
        try:
            os.remove(os.path.join(STORE_DIR, name))
        except FileNotFoundError:
            pass


def sine_wav(ms):
    rate = 8000
    pcm = b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 1000 * i / rate)))
                   for i in range(rate * ms // 1000))
    return (b"RIFF" + struct.pack("<I", 36 + len(pcm)) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, rate, rate * 2, 2, 16) + b"data" +
            struct.pack("<I", len(pcm)) + pcm)


def run(folder, with_file):
    what = "with sound.mp3" if with_file else "without sound.mp3"
    clear_store()
    os.makedirs(STORE_DIR, exist_ok=True)
    for name, data in (("Text1", "0.2"), ("Check3", " 0")):
        subprocess.run([REG, "--dir", STORE_DIR, "add", name, data], check=True,
                       capture_output=True)
    # A per-user settings file would be read first: keep any out of the way.
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"))
    log = open(os.path.join(folder, "brisko.log"), "wb")
    proc = subprocess.Popen([os.path.join(folder, "brisko")], stdout=log, stderr=log, env=env)
    try:
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                                str(proc.pid)], capture_output=True, text=True, timeout=15)
        win = found.stdout.split()[0] if found.stdout.split() else None
        expect(f"{what}: the window appeared", win is not None)
        if win is None:
            return
        time.sleep(1.2)
        before = media_mapped(proc.pid)
        expect(f"{what}: nothing of the media libraries before the alarm ({before})", not before)
        subprocess.run(["xdotool", "windowactivate", "--sync", win], capture_output=True,
                       timeout=15)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "space"], capture_output=True,
                       timeout=15)
        def both():
            names = media_mapped(proc.pid)
            return (any(n.startswith("brisko_alarm_plugin") for n in names) and
                    any(n.startswith("libQt6Multimedia") for n in names))
        loaded = wait_for(both, 6)
        expect(f"{what}: the module and Qt Multimedia mapped at the alarm "
               f"({media_mapped(proc.pid)})", loaded)
        expect(f"{what}: still running", proc.poll() is None)
    finally:
        proc.terminate()
        proc.wait()
        log.close()


def main():
    folder = tempfile.mkdtemp(prefix="brisko-alarm-")
    try:
        # The program looks for its module and sound.mp3 in its own folder.
        shutil.copy2(BRISKO, folder)
        os.makedirs(os.path.join(folder, "plugins"))
        shutil.copy2(MODULE, os.path.join(folder, "plugins"))
        run(folder, with_file=False)
        with open(os.path.join(folder, "sound.mp3"), "wb") as f:
            f.write(sine_wav(300))
        run(folder, with_file=True)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        clear_store()
    print(f"{'FAILED' if failures else 'PASS'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
