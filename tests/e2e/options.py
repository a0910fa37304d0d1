#!/usr/bin/env python3
"""The real brisko's --help and --version without a display, its other
arguments left unread, and the manual pages agreeing with what both programs
say of themselves."""

import os
import re
import shutil
import subprocess
import sys
import tempfile

BRISKO, BRISKO_REG, STORE_DIR, MAN_BRISKO, MAN_REG = sys.argv[1:6]
failures = []


def expect(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def man_text(path):
    """The page's source with groff's escapes for '-' and '\\' undone."""
    with open(path, encoding="utf-8") as f:
        return f.read().replace("\\-", "-").replace("\\e", "\\")


def section(text, name):
    m = re.search(r"^\.SH " + name + r"\n(.*?)(?=^\.SH |\Z)", text, re.M | re.S)
    return m.group(1) if m else ""


def main():
    no_display = {k: v for k, v in os.environ.items()
                  if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    runs = {}
    for arg in ("--help", "-h", "--version", "-v"):
        r = subprocess.run([BRISKO, "ignored", arg], env=no_display, capture_output=True,
                           text=True, timeout=20)
        runs[arg] = r
        expect(f"brisko {arg} without a display: status {r.returncode}, "
               f"stderr {r.stderr[:80]!r}", r.returncode == 0 and r.stderr == "")
    expect("-h is --help and -v is --version",
           runs["-h"].stdout == runs["--help"].stdout
           and runs["-v"].stdout == runs["--version"].stdout)
    help_text = runs["--help"].stdout
    version = runs["--version"].stdout
    expect(f"--version reads 'brisko X.Y.Z' ({version!r})",
           re.fullmatch(r"brisko \d+\.\d+\.\d+\n", version) is not None)

    with open("/dev/full", "w") as full:
        r = subprocess.run([BRISKO, "--version"], env=no_display, stdout=full,
                           stderr=subprocess.DEVNULL, timeout=20)
    expect(f"--version into a full disk fails (status {r.returncode})", r.returncode != 0)

    for path in (MAN_BRISKO, MAN_REG):
        th = man_text(path).split("\n", 1)[0]
        expect(f"{os.path.basename(path)} is for {version.strip()} ({th})",
               f'"{version.strip()}"' in th)

    # brisko: the options of --help and of the page are the same two pairs.
    page = man_text(MAN_BRISKO)
    help_opts = set(re.findall(r"^\s+(-\w), (--[\w-]+)", help_text, re.M))
    page_opts = set(re.findall(r'^\.BR (-\w) ", " (--[\w-]+)$', section(page, "OPTIONS"), re.M))
    expect(f"brisko --help and brisko.1 list the same options ({sorted(help_opts)}, "
           f"{sorted(page_opts)})", help_opts == page_opts and len(help_opts) == 2)
    settings = re.search(r"(/\S+/settings\.reg)", help_text)
    expect(f"brisko --help and brisko.1 name the same settings file "
           f"({settings and settings.group(1)})",
           settings is not None and f".I {settings.group(1)}\n" in section(page, "FILES"))

    # brisko-reg: every option its --help names is described in the page.
    r = subprocess.run([BRISKO_REG, "--help"], capture_output=True, text=True, timeout=20)
    reg_opts = set(re.findall(r"(?<![\w/\\-])(/[a-z]|--[a-z]+)\b", r.stdout))
    page = man_text(MAN_REG)
    described = section(page, "OPTIONS")
    missing = sorted(o for o in reg_opts if not re.search(
        r"^\.(B|BI|BR) (.*\W)?" + re.escape(o) + r"(\W|$)", described, re.M))
    expect(f"brisko-reg.1 describes every option of --help ({sorted(reg_opts)}, "
           f"missing {missing})", r.returncode == 0 and len(reg_opts) >= 7 and not missing)
    forms = re.findall(r"^  brisko-reg (query|add|delete)", r.stdout, re.M)
    expect(f"brisko-reg.1 has a synopsis line for each usage line of --help ({forms})",
           len(forms) >= 3 and
           len(re.findall(r"^\.B brisko-reg (query|add|delete)$", section(page, "SYNOPSIS"),
                          re.M)) == len(forms))

    # Qt's own options would reach Qt if brisko passed them on: an unknown
    # platform plugin makes Qt abort. Here the program starts, and the stored
    # quit request ends it normally.
    home = tempfile.mkdtemp(prefix="brisko-options-home-")
    shutil.rmtree(STORE_DIR, ignore_errors=True)
    os.makedirs(STORE_DIR)
    try:
        subprocess.run([BRISKO_REG, "--dir", STORE_DIR, "add", "isClose", "1"], check=True,
                       capture_output=True)
        env = dict(no_display, QT_QPA_PLATFORM="offscreen", HOME=home,
                   XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=home)
        os.chmod(home, 0o700)
        r = subprocess.run([BRISKO, "-platform", "no-such-plugin", "-reverse", "--bogus"],
                           env=env, capture_output=True, text=True, timeout=30)
        expect(f"Qt's options are ignored: ends by the quit request with status "
               f"{r.returncode}", r.returncode == 0)
    finally:
        shutil.rmtree(home, ignore_errors=True)
        # The next test finds the folder empty, with no quit request.
        shutil.rmtree(STORE_DIR, ignore_errors=True)
        os.makedirs(STORE_DIR)

    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
