# shellcheck shell=bash
# Shared by the scripts that run Windows programs under Wine (source it):
# the packages, the Chinese locale (so Wine's ANSI code page is 936) and a
# fresh, throwaway Wine prefix with no display and nothing of the machine.
#
#   wine_packages               installs what is missing (apt-get; unzip for the
#                               zip check, doctest-dev for the tests) and the locale
#   wine_environment WORK       exports Wine's settings; HOME goes to WORK/home
#   wine_new_prefix DIR [null|x11]
#                               makes a prefix there and makes it the current one
#   wine_run_counted NAME LOG PROGRAM [ARGS...]
#                               runs a program that ends with "N passed, N failed"
#                               and adds that line to the totals passed/failed

wine_zh_locale=zh_CN.UTF-8

wine_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

wine_packages() {
    local missing=() package
    for package in wine wine64 g++-mingw-w64-x86-64-win32 locales unzip doctest-dev; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing with apt-get: ${missing[*]} (this takes a while: Wine and MinGW-w64 are large)"
        wine_as_root apt-get update -qq
        wine_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o Dpkg::Use-Pty=0 \
            --no-install-recommends "${missing[@]}" >/dev/null
    fi
    if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
        wine_as_root localedef -i zh_CN -c -f UTF-8 -A /usr/share/locale/locale.alias "$wine_zh_locale"
    fi
}

wine_environment() {
    local work=$1
    mkdir -p "$work/home"
    if [ "${WINE_KEEP_DISPLAY:-0}" != 1 ]; then
        unset DISPLAY WAYLAND_DISPLAY
    fi
    export WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    export HOME=$work/home
    export LANG=$wine_zh_locale LC_ALL=$wine_zh_locale
}

# The first command in a new prefix makes it (wineboot, about 20 s); the
# display driver is chosen before anything draws.
wine_new_prefix() {
    export WINEPREFIX=$1
    local graphics=${2:-null}
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f >/dev/null 2>&1 ||
        echo "could not choose the $graphics display driver"
    wineserver -w
}

# The program's output goes to a file, never a pipe: what it starts inherits
# the descriptors Wine was given. Sets wine_status to Wine's exit status and
# wine_failed_here to the failures the closing line reported.
wine_run_counted() {
    local name=$1 log=$2 closing
    shift 2
    wine_status=0
    wine_failed_here=0
    wine "$@" >"$log.raw" 2>&1 || wine_status=$?
    wineserver -w
    tr -d '\r' <"$log.raw" >"$log"
    sed '$!b; /^[0-9]* passed, [0-9]* failed$/d' "$log"
    closing=$(tail -n 1 "$log")
    if [[ $closing =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
        wine_failed_here=${BASH_REMATCH[2]}
        echo "$name: $closing"
    else
        echo "FAIL $name printed no closing line (Wine exit status $wine_status)"
        failed=$((failed + 1))
        wine_failed_here=1
    fi
}
