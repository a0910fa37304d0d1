#!/usr/bin/env python3
"""The real program under X with openbox (run through with-xserver.sh), as a
user sees it: the minutes entry's digits large enough to read and whole,
every message box wide enough for the window manager to show its title, and
the window's place kept in the store while it is minimised.

Usage: program_desktop.py BRISKO BRISKO_REG SETTINGS_DIR VENDOR_URL
With BRISKO_SHOTS=<folder> the windows are saved there as PNG files."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import (Image, Store, activate, click, expect, find_window, finish,  # noqa: E402
                     frame_of, geometry, key, running, settled, title_shown_whole, wait_for)

BRISKO, REG, STORE_DIR, VENDOR_URL = sys.argv[1:5]
SHOTS = os.environ.get("BRISKO_SHOTS")
NOTICE = "【计时器】又出新版本了，欢迎下载"

# The minutes entry and its unit in the window's client area (menu bar
# hidden): 3360, 75, 375, 270 twips, one column short; 分钟 at 3720, 120.
ENTRY = (224, 5, 248, 23)
ENTRY_INSIDE = (ENTRY[0] + 1, ENTRY[1] + 1, ENTRY[2] - 1, ENTRY[3] - 1)
UNIT = (248, 6, 280, 22)


def shot(win, name):
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
        subprocess.run(["import", "-window", str(win), os.path.join(SHOTS, name + ".png")],
                       timeout=20)


def check_title(pid, title, shot_name):
    box = find_window(pid, lambda name: name == title)
    if not expect(f"the box {title!r} is shown", box is not None):
        return None
    activate(box)
    whole, own, narrow, full = title_shown_whole(box, title)
    width = geometry(box)[2]
    expect(f"{title!r}: the title bar shows the whole title over the box's {width} px "
           f"({own} px of its text, {narrow} at that width in another window, {full} in full)",
           whole)
    shot(frame_of(box), shot_name)
    return box


def entry_text_whole(win, text):
    """Types text into the entry and checks that all of it is seen."""
    x, y, _, _ = geometry(win)
    click(x + ENTRY[0] + 12, y + ENTRY[1] + 9)
    key("ctrl+a")
    subprocess.run(["xdotool", "type", "--delay", "60", text], timeout=20)
    # Seen from its start and from its end (the cursor elsewhere, so that it
    # isn't drawn): an entry that scrolls shows two different pictures.
    key("Home")
    key("Tab")
    from_start = settled(lambda: Image(win).crop(ENTRY))
    key("shift+Tab")
    key("End")
    key("Tab")
    settled(lambda: Image(win).crop(ENTRY))
    from_end = Image(win)
    shot(win, "entry-" + text)
    ink = from_end.ink(ENTRY_INSIDE)
    expect(f"{text!r}: the same picture from the start and from the end",
           from_start == from_end.crop(ENTRY))
    expect(f"{text!r}: its ink {ink} stays clear of the frame's inside "
           f"{ENTRY_INSIDE[0]}..{ENTRY_INSIDE[2] - 1}",
           ink is not None and ink[0] > ENTRY_INSIDE[0] and ink[2] < ENTRY_INSIDE[2] - 1
           and ink[1] > ENTRY_INSIDE[1] and ink[3] < ENTRY_INSIDE[3] - 1)


def stored_place(store):
    left, top = store.get("Left"), store.get("Top")
    return (int(left), int(top)) if left and top else None


def main():
    store = Store(REG, STORE_DIR)
    with running(BRISKO, store, VENDOR_URL, {"Check3": " 0"}) as (proc, vendor):
        # The start-up notice comes before the main window.
        if check_title(proc.pid, NOTICE, "box-notice"):
            key("Escape")
        vendor.close()
        win = find_window(proc.pid, lambda n: n.startswith("计时器"))
        if not expect("the main window is shown", win is not None):
            return

        settled(lambda: Image(win).crop(ENTRY))
        first = Image(win)
        shot(win, "first-run")
        five = first.ink(ENTRY_INSIDE)
        unit = first.ink(UNIT)
        five_h = five[3] - five[1] + 1 if five else 0
        unit_h = unit[3] - unit[1] + 1 if unit else 0
        expect(f"the entry's 5 is {five_h} px of ink tall (8 or more; 分钟 beside it {unit_h})",
               five_h >= 8)
        for text in ("120", "12.5"):
            entry_text_whole(win, text)

        # Emptying the entry is refused with a box captioned "brisko".
        x, y, _, _ = geometry(win)
        click(x + ENTRY[0] + 12, y + ENTRY[1] + 9)
        key("ctrl+a", "BackSpace")
        if check_title(proc.pid, "brisko", "box-above-zero"):
            key("Return")
        expect("the entry holds 5 again", wait_for(lambda: store.get("Text1") == "5", 3))

        activate(win)
        key("alt+F4")
        if check_title(proc.pid, "关闭程序?", "box-close"):
            key("Escape")
        time.sleep(0.3)
        expect("Cancel keeps the program", proc.poll() is None)

        # Minimised, the window keeps its place in the store.
        subprocess.run(["xdotool", "windowmove", "--sync", win, "200", "150"],
                       capture_output=True, timeout=20)
        fx, fy = geometry(frame_of(win))[:2]
        placed = (fx * 15, fy * 15)
        moved = wait_for(lambda: stored_place(store) == placed, 3)
        expect(f"moved to the frame's {fx}, {fy}: stored {stored_place(store)}", moved)
        subprocess.run(["xdotool", "windowminimize", "--sync", win], timeout=20)
        expect("the window is minimised", wait_for(lambda: "Iconic" in subprocess.run(
            ["xprop", "-id", win, "WM_STATE"], capture_output=True, text=True).stdout, 3))
        used = int(store.get("js00"))
        ticked = wait_for(lambda: int(store.get("js00")) >= used + 2, 4)
        expect(f"minimised, the housekeeping ticks go on ({used} -> {store.get('js00')}) and "
               f"store the same place ({stored_place(store)})",
               ticked and stored_place(store) == placed)
        activate(win)
        used = int(store.get("js00"))
        wait_for(lambda: int(store.get("js00")) >= used + 1, 3)
        expect(f"restored at the same place ({geometry(frame_of(win))[:2]}, stored "
               f"{stored_place(store)})",
               geometry(frame_of(win))[:2] == (fx, fy) and stored_place(store) == placed)


if __name__ == "__main__":
    main()
    sys.exit(finish())
