#!/usr/bin/env python3
"""The real program under X (run through with-xserver.sh) as a screen reader
finds it on the accessibility bus (AT-SPI) of a private session: every window
it shows is listed among the application's windows by its title, with its
texts as its children, and goes from the list when it closes.

Usage: program_screenreader.py BRISKO BRISKO_REG SETTINGS_DIR VENDOR_URL
It runs itself inside a session bus of its own (dbus-run-session), with the
Python that has pyatspi (Debian's python3-pyatspi)."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

if os.environ.get("BRISKO_PRIVATE_BUS") != "1":
    if not shutil.which("dbus-run-session"):
        print("SKIP: dbus-run-session is not installed (scripts/install-deps.sh test)")
        sys.exit(77)
    python = sys.executable
    probe = subprocess.run([python, "-c", "import pyatspi"], capture_output=True)
    if probe.returncode != 0 and os.path.exists("/usr/bin/python3"):
        python = "/usr/bin/python3"
        probe = subprocess.run([python, "-c", "import pyatspi"], capture_output=True)
    if probe.returncode != 0:
        print("SKIP: pyatspi is not installed (python3-pyatspi; scripts/install-deps.sh test)")
        sys.exit(77)
    os.environ["BRISKO_PRIVATE_BUS"] = "1"
    os.execvp("dbus-run-session", ["dbus-run-session", "--", python, *sys.argv])

import pyatspi  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import (Store, Vendor, activate, click, expect, find_window, finish,  # noqa: E402
                     geometry, key, wait_for)

BRISKO, REG, STORE_DIR, VENDOR_URL = sys.argv[1:5]
NOTICE = "【计时器】又出新版本了，欢迎下载"
ABOUT = "About Brisko（计时器）"
# What a screen reader counts as a window of an application.
WINDOW_ROLES = {"frame", "window", "dialog", "alert"}


def described(acc):
    try:
        return f"{acc.getRoleName()} {acc.name!r}"
    except Exception as e:  # a window that went away
        return f"gone ({e})"


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def windows(app):
    """The application's windows as a screen reader lists them: {name: accessible}."""
    found = {}
    for child in app:
        try:
            if child is not None and child.getRoleName() in WINDOW_ROLES:
                found[child.name] = child
        except Exception:
            pass
    return found


def listing(app):
    return ", ".join(described(c) for c in app) if app else "no application"


def texts(window):
    """The names of a window's labels, in order, and of its buttons."""
    labels, buttons = [], []

    def walk(acc, depth):
        for child in acc:
            role = child.getRoleName()
            if role == "label" and child.name:
                labels.append(child.name)
            elif role == "push button":
                buttons.append(child.name)
            elif depth < 3:
                walk(child, depth + 1)
    walk(window, 0)
    return labels, buttons


def check_window(app, name, role_ok, child_labels, buttons=None):
    """The window is listed by its name, with these labels (and buttons)."""
    window = wait_for(lambda: windows(app).get(name), 5)
    if not expect(f"{name!r} is among the application's windows ({listing(app)})",
                  window is not None):
        return None
    expect(f"{name!r} is a {window.getRoleName()}", role_ok(window.getRoleName()))
    labels, pressed = texts(window)
    expect(f"{name!r} holds its texts {labels}",
           all(any(label.startswith(want) for label in labels) for want in child_labels))
    if buttons is not None:
        expect(f"{name!r} holds its buttons {pressed}", len(pressed) == buttons)
    return window


def find_accessible(acc, role, depth=0):
    if acc is None or depth > 4:
        return None
    for child in acc:
        if child.getRoleName() == role:
            return child
        found = find_accessible(child, role, depth + 1)
        if found is not None:
            return found
    return None


def check_gone(app, name):
    expect(f"{name!r} leaves the list when it closes",
           wait_for(lambda: name not in windows(app), 5))


def main():
    store = Store(REG, STORE_DIR)
    store.clear()
    # The menu bar shown, as a keyboard user needs it.
    store.set("Check3", " 1")
    home = tempfile.mkdtemp(prefix="brisko-a11y-")
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(home, "config"),
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    vendor = Vendor(VENDOR_URL, "[123]")
    proc = subprocess.Popen([BRISKO], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        app = wait_for(lambda: application(proc.pid), 15, step=0.2)
        if not expect("the program is on the accessibility bus", app is not None):
            return

        # The start-up notice, before the main window.
        notice = find_window(proc.pid, lambda n: n == NOTICE, 15)
        if check_window(app, NOTICE, lambda r: r in ("alert", "dialog"),
                        ["有新版本可以下载了"], buttons=2) and notice:
            activate(notice)
            key("Escape")
        vendor.close()

        main_win = find_window(proc.pid, lambda n: n.startswith("计时器"))
        if not expect("the main window is shown", main_win is not None):
            return
        title = wait_for(lambda: next((n for n in windows(app) if n.startswith("计时器")), None), 5)
        if expect(f"the main window is among the application's windows ({listing(app)})",
                  title is not None):
            check_window(app, title, lambda r: r == "frame", ["0:00:00", "分钟"])
        check_gone(app, NOTICE)

        # 关于本软件(&A)... from the keyboard.
        activate(main_win)
        key("alt+t")
        time.sleep(0.5)
        key("a")
        about = find_window(proc.pid, lambda n: n == ABOUT)
        expect("the About window is shown", about is not None)
        window = check_window(app, ABOUT, lambda r: r in ("frame", "window", "dialog"),
                              ["当前版本为：V", "您已使用本软件合计有 ", "官方网址：", "声明："])
        if window is not None:
            expect(f"its five labels are its own children ({window.childCount})",
                   window.childCount == 5 and
                   all(c.getRoleName() == "label" for c in window))
            def extents():
                box = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                return box.x, box.y, box.width, box.height
            expect(f"it is where its window is on the screen ({extents()}; the window "
                   f"{geometry(about)})",
                   wait_for(lambda: extents() == geometry(about), 3))
        if about:
            activate(about)
            key("alt+F4")
            check_gone(app, ABOUT)

        # The refusal of an empty entry, found as a screen reader finds it.
        activate(main_win)
        frame = next((w for n, w in windows(app).items() if n.startswith("计时器")), None)
        entry = find_accessible(frame, "text")
        if expect("the minutes entry is in the main window", entry is not None):
            box = entry.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            click(box.x + box.width // 2, box.y + box.height // 2)
        key("ctrl+a", "BackSpace")
        if check_window(app, "brisko", lambda r: r in ("alert", "dialog"), ["此处必须大于0"],
                        buttons=1):
            key("Return")
            check_gone(app, "brisko")

        # The close question.
        activate(main_win)
        key("alt+F4")
        if check_window(app, "关闭程序?", lambda r: r in ("alert", "dialog"),
                        ["你确定要关闭此程序吗?"], buttons=2):
            key("Escape")
            check_gone(app, "关闭程序?")
        expect("Cancel keeps the program", proc.poll() is None)
    finally:
        store.set("isClose", "1")
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        store.clear()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
    sys.exit(finish())
