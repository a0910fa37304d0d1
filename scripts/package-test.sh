#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, checks the installed
# files, runs the installed program offscreen for a moment and ends it through
# brisko-reg, then purges the package again.
#
# It changes the machine: it installs and purges the package "brisko" and uses
# the real machine-wide settings folder (/var/lib/brisko unless the build says
# otherwise). A folder that was there before is put back as it was. Meant for
# CI and for a throw-away machine; needs root or sudo.
#
# Usage: scripts/package-test.sh        (build folder: build-pkg)
#   BRISKO_PACKAGE_TEST_SETTINGS_DIR=/var/lib/brisko-test scripts/package-test.sh
#   builds the package with another settings folder, to keep off the real one
#   on a machine where other copies of the program use it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-pkg

SUDO=()
[[ $(id -u) -ne 0 ]] && SUDO=(sudo)

start=$SECONDS
stage_name=
stage_start=$SECONDS
stage() {
    [[ -n $stage_name ]] && echo "   ($stage_name took $((SECONDS - stage_start)) s)"
    stage_name=$1
    stage_start=$SECONDS
    [[ -n $1 ]] && echo "== $1"
    return 0
}
fail() {
    echo "PACKAGE TEST FAILED: $*" >&2
    exit 1
}

bash scripts/install-deps.sh run
# What packaging and its checks need besides the build packages.
need=(dpkg-dev appstream desktop-file-utils)
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    "${SUDO[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

if dpkg-query -W -f='${Status}' brisko 2>/dev/null | grep -q "ok installed"; then
    fail "the package brisko is already installed here; this test would remove it"
fi

stage "configure"
# -U: back to the default settings folder and vendor address, whatever an
# earlier configuration of this folder said.
settings_arg=()
[[ -n ${BRISKO_PACKAGE_TEST_SETTINGS_DIR:-} ]] &&
    settings_arg=(-DBRISKO_SETTINGS_DIR="$BRISKO_PACKAGE_TEST_SETTINGS_DIR")
cmake -S "$root" -B "$build" -U BRISKO_SETTINGS_DIR -U BRISKO_VENDOR_URL "${settings_arg[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DBRISKO_BUILD_TESTS=OFF -DBRISKO_SANITIZE=OFF >/dev/null
settings_dir=$(sed -n 's/^BRISKO_SETTINGS_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ $settings_dir == /?* ]] || fail "no settings folder in the build's cache"

stage "build"
cmake --build "$build" -j2

stage "package"
rm -f "$build"/brisko_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/brisko_*_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no brisko_<version>_<arch>.deb"
deb=${debs[0]}
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libqt6widgets6 libqt6multimedia6 libc6 gstreamer1.0-plugins-base \
    gstreamer1.0-plugins-good "fonts-arphic-uming | fonts-wqy-zenhei"; do
    [[ $depends == *"$d"* ]] || fail "Depends lacks $d"
done

# From here on the machine is changed: keep what was in the settings folder
# and put it back, and never leave the package behind.
backup=$(mktemp -d)
had_settings=0
installed=0
if [[ -e $settings_dir ]]; then
    had_settings=1
    "${SUDO[@]}" tar -C "$(dirname "$settings_dir")" -cpf "$backup/settings.tar" \
        "$(basename "$settings_dir")"
fi
cleanup() {
    local status=$?
    [[ -n ${pid:-} ]] && kill "$pid" 2>/dev/null
    if [[ $installed == 1 ]]; then
        DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get remove --purge -y -qq brisko \
            >/dev/null 2>&1 || true
    fi
    if [[ $had_settings == 1 ]]; then
        "${SUDO[@]}" rm -rf "$settings_dir"
        "${SUDO[@]}" tar -C "$(dirname "$settings_dir")" -xpf "$backup/settings.tar"
    elif [[ -e $settings_dir ]]; then
        "${SUDO[@]}" rm -rf "$settings_dir"
    fi
    rm -rf "$backup"
    exit $status
}
trap cleanup EXIT
# Start from an empty store, as on a fresh machine.
"${SUDO[@]}" rm -rf "$settings_dir"

stage "install"
installed=1
DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq "$deb" >"$backup/apt.log" 2>&1 ||
    { cat "$backup/apt.log"; fail "apt-get install"; }

stage "check the installed files"
for f in /usr/lib/brisko/brisko /usr/bin/brisko-reg /usr/share/applications/brisko.desktop \
    /usr/share/metainfo/example.pelmora.brisko.metainfo.xml; do
    [[ -f $f ]] || fail "$f is missing"
done
[[ -L /usr/bin/brisko && $(readlink /usr/bin/brisko) != /* ]] ||
    fail "/usr/bin/brisko is not a relative link"
[[ $(readlink -f /usr/bin/brisko) == /usr/lib/brisko/brisko ]] ||
    fail "/usr/bin/brisko does not lead to /usr/lib/brisko/brisko"
[[ $(command -v brisko) == /usr/bin/brisko && $(command -v brisko-reg) == /usr/bin/brisko-reg ]] ||
    fail "brisko and brisko-reg are not found on the PATH"
for size in 16 32 48 64 128 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/brisko.png
    [[ -f $icon ]] || fail "$icon is missing"
    # The PNG header's width and height, big-endian at bytes 16 to 23.
    dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [[ $dims == "${size}x${size}" ]] || fail "$icon is $dims"
done
[[ $(stat -c '%a %U %G' "$settings_dir") == "755 root root" ]] ||
    fail "$settings_dir is $(stat -c '%a %U %G' "$settings_dir"), not 755 root root"
if ldd /usr/lib/brisko/brisko | grep -q 'not found'; then
    ldd /usr/lib/brisko/brisko | grep 'not found'
    fail "libraries missing"
fi
desktop-file-validate /usr/share/applications/brisko.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/example.pelmora.brisko.metainfo.xml ||
    fail "appstreamcli validate"

stage "run the installed program"
rundir=$(mktemp -d)
chmod 700 "$rundir"
"${SUDO[@]}" brisko-reg delete /v isClose /f >/dev/null 2>&1 || true
"${SUDO[@]}" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$rundir" brisko \
    >"$backup/brisko.log" 2>&1 &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$backup/brisko.log"; pid=; fail "brisko ended by itself"; }
"${SUDO[@]}" brisko-reg add isClose 1 >/dev/null || fail "brisko-reg add isClose 1"
# Ends at the next housekeeping tick; a start-up still waiting for the
# vendor's site takes up to ten seconds more.
for ((i = 0; i < 40; ++i)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
done
if kill -0 "$pid" 2>/dev/null; then
    cat "$backup/brisko.log"
    fail "brisko still runs 20 s after isClose was set"
fi
status=0
wait "$pid" || status=$?
pid=
rm -rf "$rundir"
[[ $status == 0 ]] || { cat "$backup/brisko.log"; fail "brisko ended with status $status"; }
"${SUDO[@]}" brisko-reg query /v js00 >/dev/null ||
    fail "brisko stored no usage total in $settings_dir"
"${SUDO[@]}" brisko-reg delete /v isClose /f >/dev/null || fail "brisko-reg delete isClose"
echo "brisko ran and ended with status 0 after isClose was set"

stage "purge"
DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get remove --purge -y -qq brisko \
    >"$backup/apt.log" 2>&1 || { cat "$backup/apt.log"; fail "apt-get remove --purge"; }
installed=0
left=$(dpkg-query -W -f='${Status}' brisko 2>/dev/null || true)
[[ -z $left || $left == *not-installed ]] || fail "dpkg still lists brisko: $left"
for f in /usr/bin/brisko /usr/bin/brisko-reg /usr/lib/brisko /usr/share/applications/brisko.desktop \
    /usr/share/metainfo/example.pelmora.brisko.metainfo.xml \
    /usr/share/icons/hicolor/48x48/apps/brisko.png "$settings_dir"; do
    [[ ! -e $f && ! -L $f ]] || fail "$f is still there after the purge"
done

stage ""
echo "Package test passed in $((SECONDS - start)) s"
