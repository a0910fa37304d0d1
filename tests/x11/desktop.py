"""What the end-to-end tests of the real program under X share: the X tools
(xdotool, xwininfo, xprop, import) as a user's desktop sees the windows, the
settings store through brisko-reg, and a stand-in for the vendor's site."""

import contextlib
import http.server
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time
import urllib.parse

failures = []


def expect(what, ok):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def finish():
    print("FAILED" if failures else "PASS", flush=True)
    return 1 if failures else 0


def tool(*args, timeout=20):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True,
                          timeout=timeout).stdout


def settled(measure, seconds=5, step=0.15):
    """A measure of the screen once it gives the same value three times in
    a row (the window manager and the program draw when they get to it)."""
    values = []
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        values.append(measure())
        if len(values) >= 3 and values[-1] == values[-2] == values[-3]:
            break
        time.sleep(step)
    return values[-1]


def wait_for(predicate, seconds, step=0.1):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


# --- the settings store ------------------------------------------------------

class Store:
    def __init__(self, reg, folder):
        self.reg = reg
        self.folder = folder

    def clear(self):
        os.makedirs(self.folder, exist_ok=True)
        for name in os.listdir(self.folder):
            if name.startswith("settings.reg"):
                os.remove(os.path.join(self.folder, name))

    def set(self, name, data):
        subprocess.run([self.reg, "--dir", self.folder, "add", name, data], check=True,
                       capture_output=True)

    def get(self, name):
        out = subprocess.run([self.reg, "--dir", self.folder, "query", "/v", name],
                             capture_output=True, text=True).stdout
        for line in out.splitlines():
            if "REG_SZ" in line:
                return line.split("REG_SZ", 1)[1][4:]
        return None


@contextlib.contextmanager
def running(brisko, store, vendor_url, settings, **env):
    """The program, started on a store holding only these settings, with a
    vendor's site that announces a newer version until the program's window
    is up; ended through isClose, the store emptied again."""
    store.clear()
    for name, data in settings.items():
        store.set(name, data)
    home = tempfile.mkdtemp(prefix="brisko-x11-")
    vendor = Vendor(vendor_url, "<html>[123]</html>")
    proc = subprocess.Popen([brisko], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            env=dict(os.environ, XDG_CONFIG_HOME=os.path.join(home, "config"),
                                     **env))
    try:
        yield proc, vendor
    finally:
        vendor.close()
        store.set("isClose", "1")
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        store.clear()
        shutil.rmtree(home, ignore_errors=True)


# --- the vendor's site ---------------------------------------------------------

class Vendor:
    """Answers the version query at the build's vendor address (127.0.0.1
    only) with the given version file."""

    def __init__(self, vendor_url, body):
        parts = urllib.parse.urlsplit(vendor_url)
        if parts.hostname != "127.0.0.1" or not parts.port:
            raise SystemExit(f"the build's vendor address is not on 127.0.0.1: {vendor_url}")
        page = body.encode()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                found = self.path.endswith("/brk/newver.htm")
                self.send_response(200 if found else 404)
                self.send_header("Content-Length", str(len(page) if found else 0))
                self.end_headers()
                if found:
                    self.wfile.write(page)

            def log_message(self, *args):
                pass

        # Another test may hold the port a moment longer.
        deadline = time.monotonic() + 30
        while True:
            try:
                self.server = http.server.ThreadingHTTPServer(("127.0.0.1", parts.port), Handler)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.5)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None


# --- windows ----------------------------------------------------------------------

def window_name(win):
    r = subprocess.run(["xdotool", "getwindowname", str(win)], capture_output=True, timeout=20)
    return r.stdout.decode("utf-8", "replace").rstrip("\n") if r.returncode == 0 else None


def find_window(pid, matches, seconds=10):
    """The id of the program's shown window whose name matches."""
    def look():
        for win in tool("xdotool", "search", "--onlyvisible", "--pid", pid).split():
            name = window_name(win)
            if name is not None and matches(name):
                return win
        return None
    return wait_for(look, seconds)


def geometry(win):
    """x, y, width, height of a window's inside, on the screen."""
    out = tool("xwininfo", "-id", win)
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", out).group(1))
    return (get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"),
            get("Height"))


def frame_of(win):
    """The window manager's frame around a window."""
    m = re.search(r"Parent window id: (0x[0-9a-f]+)", tool("xwininfo", "-tree", "-id", win))
    return str(int(m.group(1), 16)) if m else None


def title_height(win):
    nums = re.findall(r"\d+", tool("xprop", "-id", win, "_NET_FRAME_EXTENTS").partition("=")[2])
    return int(nums[2]) if len(nums) == 4 else 0


def key(*keys):
    tool("xdotool", "key", "--clearmodifiers", *keys)


def click(x, y):
    tool("xdotool", "mousemove", "--sync", x, y, "click", "1")


def activate(win):
    tool("xdotool", "windowactivate", "--sync", win)


class Image:
    """A window's pixels as the screen shows them, from ImageMagick's import."""

    def __init__(self, win):
        data = subprocess.run(["import", "-window", str(win), "-depth", "8", "ppm:-"],
                              capture_output=True, timeout=20).stdout
        magic, size, depth, self.raw = data.split(b"\n", 3)
        self.width, self.height = map(int, size.split())

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return self.raw[i], self.raw[i + 1], self.raw[i + 2]

    def gray(self, x, y):
        r, g, b = self.rgb(x, y)
        return (r * 11 + g * 16 + b * 5) // 32

    def ink(self, box, dark=128):
        """The bounding box (left, top, right, bottom) of the pixels darker
        than dark inside box (left, top, right, bottom; right and bottom
        excluded), or None."""
        found = None
        for y in range(box[1], box[3]):
            for x in range(box[0], box[2]):
                if self.gray(x, y) < dark:
                    found = (x, y, x, y) if found is None else (
                        min(found[0], x), min(found[1], y), max(found[2], x), max(found[3], y))
        return found

    def crop(self, box):
        return [self.raw[(y * self.width + box[0]) * 3:(y * self.width + box[2]) * 3]
                for y in range(box[1], box[3])]


def title_text_pixels(win, skip_left=24):
    """How many pixels of the title's white text the window manager draws on
    the window's title bar, to the right of the window's icon."""
    frame = frame_of(win)
    rows = title_height(win)
    if frame is None or rows == 0:
        return -1
    image = Image(frame)
    return sum(1 for y in range(rows) for x in range(skip_left, image.width)
               if min(image.rgb(x, y)) >= 0xE0)


def title_shown_whole(win, title):
    """Whether the window manager shows the whole title over the window: an
    ordinary window of the same title and width shows as much of it as one
    wide enough for any title. Returns (whole, box's pixels, at its width, in
    full)."""
    width = geometry(win)[2]
    name = f"reference-{os.getpid()}"
    ref = subprocess.Popen(["xmessage", "-title", name, "-geometry", "600x40+0+600", "."],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        ref_win = wait_for(lambda: tool("xdotool", "search", "--onlyvisible", "--name",
                                        "^" + name + "$").split(), 10)
        if not ref_win:
            return False, -1, -1, -1
        ref_win = ref_win[0]
        tool("xprop", "-id", ref_win, "-f", "_NET_WM_NAME", "8u", "-set", "_NET_WM_NAME", title)
        activate(ref_win)
        full = settled(lambda: title_text_pixels(ref_win))
        tool("xdotool", "windowsize", "--sync", ref_win, width, 40)
        activate(ref_win)
        narrow = settled(lambda: title_text_pixels(ref_win))
        activate(win)
        own = settled(lambda: title_text_pixels(win))
    finally:
        ref.kill()
        ref.wait()
    return full > 0 and narrow >= full - 2 and own >= full - 2, own, narrow, full
