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
from desktop import (Store, activate, click, expect, find_window, finish, geometry,  # noqa: E402
                     key, running, wait_for)

BRISKO, REG, STORE_DIR, VENDOR_URL = sys.argv[1:5]
NOTICE = "【计时器】又出新版本了，欢迎下载"
ABOUT = "About Brisko（计时器）"
# What a screen reader counts as an application's windows.
WINDOW_ROLES = {"frame", "window", "dialog", "alert"}


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application that went away meanwhile
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


def main_window(app):
    return next((w for name, w in windows(app).items() if name.startswith("计时器")), None)


def listing(app):
    return ", ".join(f"{c.getRoleName()} {c.name!r}" for c in app if c is not None)


def descendants(acc, depth=0):
    for child in acc:
        yield child
        if depth < 3:
            yield from descendants(child, depth + 1)


def check_window(app, name, roles, texts, buttons=None):
    """The window is listed by its name and role, holding these texts (as the
    starts of its labels) and this many buttons."""
    window = wait_for(lambda: windows(app).get(name), 5)
    if not expect(f"{name!r} is among the application's windows ({listing(app)})",
                  window is not None):
        return None
    expect(f"{name!r} is a {window.getRoleName()}", window.getRoleName() in roles)
    inside = list(descendants(window))
    labels = [a.name for a in inside if a.getRoleName() == "label" and a.name]
    expect(f"{name!r} holds its texts {labels}",
           all(any(label.startswith(want) for label in labels) for want in texts))
    if buttons is not None:
        pressed = [a.name for a in inside if a.getRoleName() == "push button"]
        expect(f"{name!r} holds its buttons {pressed}", len(pressed) == buttons)
    return window


def check_gone(app, name):
    expect(f"{name!r} leaves the list when it closes",
           wait_for(lambda: name not in windows(app), 5))


def main():
    store = Store(REG, STORE_DIR)
    # The menu bar shown, as a keyboard user needs it.
    with running(BRISKO, store, VENDOR_URL, {"Check3": " 1"},
                 QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1") as (proc, vendor):
        app = wait_for(lambda: application(proc.pid), 15, step=0.2)
        if not expect("the program is on the accessibility bus", app is not None):
            return

        # The start-up notice, before the main window.
        notice = find_window(proc.pid, lambda n: n == NOTICE, 15)
        if check_window(app, NOTICE, {"alert"}, ["有新版本可以下载了"], buttons=2) and notice:
            activate(notice)
            key("Escape")
        vendor.close()
        shown = find_window(proc.pid, lambda n: n.startswith("计时器"))
        frame = wait_for(lambda: main_window(app), 5)
        if not expect(f"the main window is shown and listed ({listing(app)})",
                      shown is not None and frame is not None):
            return
        check_window(app, frame.name, {"frame"}, ["0:00:00", "分钟"], buttons=2)
        check_gone(app, NOTICE)

        # 关于本软件(&A)... from the keyboard.
        activate(shown)
        key("alt+t")
        time.sleep(0.5)
        key("a")
        about = find_window(proc.pid, lambda n: n == ABOUT)
        window = check_window(app, ABOUT, {"frame", "window", "dialog"},
                              ["当前版本为：V", "您已使用本软件合计有 ", "官方网址：", "声明："])
        if window is not None and about is not None:
            expect(f"its five labels are its own children ({window.childCount})",
                   window.childCount == 5 and all(c.getRoleName() == "label" for c in window))

            def extents():
                box = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                return box.x, box.y, box.width, box.height
            expect(f"it is where its window is on the screen ({extents()}; the window "
                   f"{geometry(about)})", wait_for(lambda: extents() == geometry(about), 3))
            activate(about)
            key("alt+F4")
            check_gone(app, ABOUT)

        # The refusal of an empty entry, the entry found as a screen reader finds it.
        activate(shown)
        entry = next((a for a in descendants(main_window(app) or []) if a.getRoleName() == "text"),
                     None)
        if expect("the minutes entry is in the main window", entry is not None):
            box = entry.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            click(box.x + box.width // 2, box.y + box.height // 2)
        key("ctrl+a", "BackSpace")
        if check_window(app, "brisko", {"alert"}, ["此处必须大于0"], buttons=1):
            key("Return")
            check_gone(app, "brisko")

        # The close question.
        activate(shown)
        key("alt+F4")
        if check_window(app, "关闭程序?", {"alert"}, ["你确定要关闭此程序吗?"], buttons=2):
            key("Escape")
            check_gone(app, "关闭程序?")
        time.sleep(0.3)
        expect("Cancel keeps the program", proc.poll() is None)


if __name__ == "__main__":
    main()
    sys.exit(finish())
