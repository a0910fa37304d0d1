#!/usr/bin/env bash
# Installs the Debian 12 packages Brisko needs to build, run and test.
# Usage: scripts/install-deps.sh [run|test]
set -euo pipefail

run_pkgs=(cmake g++ make qt6-base-dev qt6-multimedia-dev libqt6multimedia6
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good fonts-wqy-zenhei fonts-arphic-uming
  libxcb1-dev qt6-translations-l10n libcurl4-openssl-dev ca-certificates)
# xfsprogs and e2fsprogs: the stress stage's power cuts on loop-mounted XFS and ext4;
# doctest-dev: the C++ tests' framework, one header.
test_pkgs=(xvfb xauth openbox xdotool x11-utils python3 imagemagick clang-format
  dbus-daemon at-spi2-core python3-pyatspi xfsprogs e2fsprogs
  dbus-bin doctest-dev)

pkgs=("${run_pkgs[@]}")
if [[ "${1:-run}" == test ]]; then
    pkgs+=("${test_pkgs[@]}")
fi

missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

SUDO=()
[[ $(id -u) -ne 0 ]] && SUDO=(sudo)
echo "Installing with apt-get: ${missing[*]}"
echo "(this takes a while: several minutes on a fresh machine, with what they depend on)"
log=$(mktemp)
t0=$SECONDS
if ! { "${SUDO[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"; } >"$log" 2>&1; then
    tail -n 30 "$log"
    rm -f "$log"
    echo "apt-get could not install the packages" >&2
    exit 1
fi
rm -f "$log"
echo "Installed in $((SECONDS - t0)) s"
