#!/usr/bin/env bash
# Builds the Debian package and checks it: its list of files, lintian (no
# errors or warnings), the desktop entry and metainfo, the libraries, and the
# program run offscreen from the package's own layout and ended through
# brisko-reg.
#
# Two modes:
#   default (CI unset)   the machine is left as it was, apart from the tools
#                        installed with apt-get (dpkg-dev, lintian, appstream,
#                        desktop-file-utils): the package is unpacked into a
#                        temporary folder with dpkg-deb -x and run from there as
#                        an unprivileged user ("nobody" when run as root) with
#                        a temporary settings file of its own; the machine-wide
#                        settings folder is only read.
#   CI=true, or BRISKO_PACKAGE_INSTALL=1
#                        as above, then the package is installed system-wide,
#                        the installed program run, and the package purged. It
#                        uses the real machine-wide settings folder
#                        (/var/lib/brisko unless the build says otherwise) and
#                        puts back whatever was there. For CI and throw-away
#                        machines; needs root or sudo.
#
# Usage: scripts/package-test.sh        (build folder: build-pkg)
#   BRISKO_PACKAGE_TEST_SETTINGS_DIR=/var/lib/brisko-test scripts/package-test.sh
#   builds the package with another settings folder, to keep off the real one
#   on a machine where other copies of the program use it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-pkg

install_mode=0
case ${CI:-} in '' | false | 0) ;; *) install_mode=1 ;; esac
[[ ${BRISKO_PACKAGE_INSTALL:-0} == 1 ]] && install_mode=1

SUDO=()
[[ $(id -u) -ne 0 ]] && SUDO=(sudo)

start=$SECONDS
stage_name=
stage_start=$SECONDS
stage() {
    [[ -n $stage_name ]] && echo "   done in $((SECONDS - stage_start)) s"
    stage_name=$1
    stage_start=$SECONDS
    [[ -n $1 ]] && echo "-- $1"
    return 0
}
fail() {
    echo "PACKAGE TEST FAILED: $*" >&2
    exit 1
}
# Runs a command with its output in a log file; shows the log's end if it fails.
quietly() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 && return 0
    echo "   last lines of $log:"
    tail -n 40 "$log" | sed 's/^/   | /'
    return 1
}

bash scripts/install-deps.sh run
# What packaging and its checks need besides the build packages.
need=(dpkg-dev appstream desktop-file-utils lintian)
missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing with apt-get: ${missing[*]} (this takes a while)"
    apt_log=$(mktemp)
    { "${SUDO[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq \
            --no-install-recommends "${missing[@]}"; } >"$apt_log" 2>&1 ||
        { tail -n 30 "$apt_log"; fail "apt-get could not install ${missing[*]}"; }
    rm -f "$apt_log"
fi

if [[ $install_mode == 1 ]] && dpkg-query -W -f='${Status}' brisko 2>/dev/null | grep -q "ok installed"; then
    fail "the package brisko is already installed here; this test would remove it"
fi

stage "configure (build-pkg)"
mkdir -p "$build"
# -U: back to the default settings folder and vendor address, whatever an
# earlier configuration of this folder said.
settings_arg=()
[[ -n ${BRISKO_PACKAGE_TEST_SETTINGS_DIR:-} ]] &&
    settings_arg=(-DBRISKO_SETTINGS_DIR="$BRISKO_PACKAGE_TEST_SETTINGS_DIR")
quietly "$build/configure.log" cmake -S "$root" -B "$build" -U BRISKO_SETTINGS_DIR \
    -U BRISKO_VENDOR_URL "${settings_arg[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DBRISKO_BUILD_TESTS=OFF -DBRISKO_SANITIZE=OFF || fail "cmake could not configure build-pkg"
settings_dir=$(sed -n 's/^BRISKO_SETTINGS_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ $settings_dir == /?* ]] || fail "no settings folder in the build's cache"

stage "build (output in build-pkg/build.log)"
quietly "$build/build.log" cmake --build "$build" -j2 || fail "the release build failed"

stage "package"
rm -f "$build"/brisko_*.deb
quietly "$build/cpack.log" cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build" ||
    fail "cpack"
debs=("$build"/brisko_*_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no brisko_<version>_<arch>.deb"
deb=${debs[0]}
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The libraries, what the program loads at run time, and the certificates
# the version check's HTTPS needs (absent from minimal systems).
for d in libqt6widgets6 libqt6multimedia6 libcurl4 libc6 gstreamer1.0-plugins-base \
    gstreamer1.0-plugins-good fonts-arphic-uming qt6-translations-l10n ca-certificates; do
    grep -qE "(^|, )$d( |,|$)" <<<"$depends" || fail "Depends lacks $d"
done

stage "contents"
# Every file the package holds, with its mode: nothing missing, nothing extra.
expected=(
    "lrwxrwxrwx ./usr/bin/brisko -> ../lib/brisko/brisko"
    "-rwxr-xr-x ./usr/bin/brisko-reg"
    "-rwxr-xr-x ./usr/lib/brisko/brisko"
    "-rw-r--r-- ./usr/lib/brisko/plugins/brisko_alarm_plugin.so"
    "-rw-r--r-- ./usr/share/applications/brisko.desktop"
    "-rw-r--r-- ./usr/share/metainfo/example.pelmora.brisko.metainfo.xml"
    "-rw-r--r-- ./usr/share/man/man1/brisko.1.gz"
    "-rw-r--r-- ./usr/share/man/man1/brisko-reg.1.gz"
    "-rw-r--r-- ./usr/share/doc/brisko/copyright"
    "-rw-r--r-- ./usr/share/doc/brisko/changelog.gz"
)
for size in 16 32 48 64 128 256; do
    expected+=("-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/brisko.png")
done
# dpkg-deb -c: mode owner size date time path [-> target]
listing=$(dpkg-deb -c "$deb")
actual=$(awk '$1 !~ /^d/ {$2=$3=$4=$5=""; print}' <<<"$listing" | tr -s ' ' | sort)
diff_out=$(diff <(printf '%s\n' "${expected[@]}" | sort) <(printf '%s\n' "$actual")) ||
    { echo "$diff_out" | sed 's/^/   /'; fail "the package's files differ from the list (< missing, > extra)"; }
owners=$(awk '{print $2}' <<<"$listing" | sort -u)
[[ $owners == root/root ]] || fail "files not owned by root/root: $owners"
grep -qE "^drwxr-xr-x root/root .* \.${settings_dir}/\$" <<<"$listing" ||
    fail "the package does not make $settings_dir as root's, mode 0755"
echo "$(wc -l <<<"$actual") files as listed, the settings folder $settings_dir"

stage "lintian"
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
echo "lintian: no errors or warnings"

stage "unpack and check the files"
work=$(mktemp -d)
chmod 755 "$work"
pid=
# Removes the temporary folder; the install mode adds its own clean-up.
cleanup_work() {
    [[ -n ${pid:-} ]] && kill "$pid" 2>/dev/null
    rm -rf "$work"
}
trap 'status=$?; cleanup_work; exit $status' EXIT
tree=$work/tree
dpkg-deb -x "$deb" "$tree"
[[ $(readlink -f "$tree/usr/bin/brisko") == "$tree/usr/lib/brisko/brisko" ]] ||
    fail "usr/bin/brisko does not lead to usr/lib/brisko/brisko"
for size in 16 32 48 64 128 256; do
    icon=$tree/usr/share/icons/hicolor/${size}x${size}/apps/brisko.png
    # The PNG header's width and height, big-endian at bytes 16 to 23.
    dims=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [[ $dims == "${size}x${size}" ]] || fail "the ${size} px icon is $dims"
done
for exe in usr/lib/brisko/brisko usr/lib/brisko/plugins/brisko_alarm_plugin.so usr/bin/brisko-reg; do
    if ldd "$tree/$exe" | grep -q 'not found'; then
        ldd "$tree/$exe" | grep 'not found'
        fail "libraries missing for $exe"
    fi
done
# Qt Multimedia comes with the alarm module, at the first alarm, not with the program.
if readelf -d "$tree/usr/lib/brisko/brisko" | grep -q 'libQt6Multimedia'; then
    fail "the program itself links Qt Multimedia"
fi
desktop-file-validate "$tree/usr/share/applications/brisko.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$tree/usr/share/metainfo/example.pelmora.brisko.metainfo.xml" ||
    fail "appstreamcli validate"
for page in brisko brisko-reg; do
    zcat "$tree/usr/share/man/man1/$page.1.gz" | grep -q "^\.SH NAME" || fail "$page.1.gz is no manual page"
done
"$tree/usr/bin/brisko" --version | grep -qx "brisko $(dpkg-deb -f "$deb" Version)" ||
    fail "brisko --version does not give the package's version"

# Runs a brisko offscreen for a few seconds, asks it to quit with its
# brisko-reg, and checks it ended normally and stored its usage total.
# Arguments: brisko, brisko-reg, then the command that runs them as the
# chosen user with the chosen environment.
run_and_quit() {
    local brisko=$1 reg=$2 code=0 i
    shift 2
    local -a as=("$@")
    "${as[@]}" "$reg" delete /v isClose /f >/dev/null 2>&1 || true
    "${as[@]}" env QT_QPA_PLATFORM=offscreen "$brisko" >"$work/brisko.log" 2>&1 &
    pid=$!
    sleep 3
    kill -0 "$pid" 2>/dev/null || { cat "$work/brisko.log"; pid=; fail "brisko ended by itself"; }
    "${as[@]}" "$reg" add isClose 1 >/dev/null || fail "brisko-reg add isClose 1"
    # Ends at the next housekeeping tick; a start-up still waiting for the
    # vendor's site takes up to ten seconds more.
    for ((i = 0; i < 40; ++i)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
    done
    if kill -0 "$pid" 2>/dev/null; then
        cat "$work/brisko.log"
        fail "brisko still runs 20 s after isClose was set"
    fi
    wait "$pid" || code=$?
    pid=
    [[ $code == 0 ]] || { cat "$work/brisko.log"; fail "brisko ended with status $code"; }
    "${as[@]}" "$reg" query /v js00 >/dev/null || fail "brisko stored no usage total"
    "${as[@]}" "$reg" delete /v isClose /f >/dev/null || fail "brisko-reg delete isClose"
}

stage "run the unpacked program"
# As a user who may not write the machine-wide folder, the program and
# brisko-reg keep their values in the user's own file, here a temporary one.
home=$work/home
mkdir -m 700 "$home"
as_user=(env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home")
if [[ $(id -u) -eq 0 ]]; then
    chown nobody:nogroup "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups "${as_user[@]}")
fi
# The nearest folder that exists on the way to the settings folder must be
# out of this user's reach, or the run would write the machine-wide store.
probe=$settings_dir
while [[ ! -e $probe ]]; do probe=$(dirname "$probe"); done
if "${as_user[@]}" test -w "$probe"; then
    fail "$(id -un) may write $probe, so the run would change the machine-wide settings; run as another user or set BRISKO_PACKAGE_TEST_SETTINGS_DIR"
fi
run_and_quit "$tree/usr/bin/brisko" "$tree/usr/bin/brisko-reg" "${as_user[@]}"
[[ -f $home/.config/brisko/settings.reg ]] || fail "nothing stored in the user's own file"
echo "the unpacked brisko ran and ended with status 0 after isClose was set"

if [[ $install_mode != 1 ]]; then
    stage ""
    echo "Package test passed in $((SECONDS - start)) s, without installing the package" \
        "(CI=true or BRISKO_PACKAGE_INSTALL=1 installs and purges it as well)"
    exit 0
fi

# From here on the machine is changed: keep what was in the settings folder
# and put it back, and never leave the package behind.
had_settings=0
installed=0
if [[ -e $settings_dir ]]; then
    had_settings=1
    "${SUDO[@]}" tar -C "$(dirname "$settings_dir")" -cpf "$work/settings.tar" \
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
        "${SUDO[@]}" tar -C "$(dirname "$settings_dir")" -xpf "$work/settings.tar"
    elif [[ -e $settings_dir ]]; then
        "${SUDO[@]}" rm -rf "$settings_dir"
    fi
    pid=
    cleanup_work
    exit $status
}
trap cleanup EXIT
# Start from an empty store, as on a fresh machine.
"${SUDO[@]}" rm -rf "$settings_dir"

stage "install the package system-wide (apt-get, with what it depends on)"
installed=1
echo "apt-get install $(basename "$deb") (and what it depends on; this may take a while)"
DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install"; }

stage "check the installed files"
for f in /usr/lib/brisko/brisko /usr/lib/brisko/plugins/brisko_alarm_plugin.so /usr/bin/brisko-reg \
    /usr/share/applications/brisko.desktop /usr/share/metainfo/example.pelmora.brisko.metainfo.xml; do
    [[ -f $f ]] || fail "$f is missing"
done
# Slim container images tell dpkg to leave out manual pages and documents.
if grep -qsE '^path-exclude[= ]/usr/share/(man|doc)/' /etc/dpkg/dpkg.cfg.d/*; then
    echo "dpkg leaves out manual pages or documents here: not looked for"
else
    for f in /usr/share/doc/brisko/copyright /usr/share/doc/brisko/changelog.gz \
        /usr/share/man/man1/brisko.1.gz /usr/share/man/man1/brisko-reg.1.gz; do
        [[ -f $f ]] || fail "$f is missing"
    done
fi
[[ -L /usr/bin/brisko && $(readlink /usr/bin/brisko) != /* ]] ||
    fail "/usr/bin/brisko is not a relative link"
[[ $(readlink -f /usr/bin/brisko) == /usr/lib/brisko/brisko ]] ||
    fail "/usr/bin/brisko does not lead to /usr/lib/brisko/brisko"
[[ $(command -v brisko) == /usr/bin/brisko && $(command -v brisko-reg) == /usr/bin/brisko-reg ]] ||
    fail "brisko and brisko-reg are not found on the PATH"
[[ $(stat -c '%a %U %G' "$settings_dir") == "755 root root" ]] ||
    fail "$settings_dir is $(stat -c '%a %U %G' "$settings_dir"), not 755 root root"

stage "run the installed program"
rundir=$work/run
mkdir -m 700 "$rundir"
run_and_quit brisko brisko-reg "${SUDO[@]}" env XDG_RUNTIME_DIR="$rundir"
echo "brisko ran from $settings_dir's store and ended with status 0 after isClose was set"

stage "purge"
DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get remove --purge -y -qq brisko \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove --purge"; }
installed=0
left=$(dpkg-query -W -f='${Status}' brisko 2>/dev/null || true)
[[ -z $left || $left == *not-installed ]] || fail "dpkg still lists brisko: $left"
for f in /usr/bin/brisko /usr/bin/brisko-reg /usr/lib/brisko /usr/share/applications/brisko.desktop \
    /usr/share/metainfo/example.pelmora.brisko.metainfo.xml /usr/share/doc/brisko \
    /usr/share/man/man1/brisko.1.gz /usr/share/icons/hicolor/48x48/apps/brisko.png "$settings_dir"; do
    [[ ! -e $f && ! -L $f ]] || fail "$f is still there after the purge"
done

stage ""
echo "Package test passed in $((SECONDS - start)) s; the package was installed, run and purged"
