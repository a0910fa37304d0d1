#!/usr/bin/env bash
# Stress checks of the settings store with the real program and brisko-reg:
# writers killed with SIGKILL at random moments (at least 200 kills), two
# copies of the program running side by side while brisko-reg writes, and
# power cuts on loop-mounted XFS and ext4 file systems while both write (as
# root with loop devices, xfsprogs and e2fsprogs; skipped otherwise, as the
# closing line says).
#
# Usage: scripts/stress.sh [--long] [BUILD_DIR]
#   BUILD_DIR  a build tree with brisko and brisko-reg (default build-test,
#              configured and built with the "test" preset when missing). Its
#              settings folder (BRISKO_SETTINGS_DIR) is wiped and used; for the
#              power cuts a folder of each file system is mounted over it.
#   --long     1,000 kills, five minutes of two copies and ten cuts per file
#              system (CI: 200, 45 s and three)
set -euo pipefail
cd "$(dirname "$0")/.."

kills=200
seconds=45
cuts=3
build=build-test
for arg in "$@"; do
    case "$arg" in
    --long) kills=1000 seconds=300 cuts=10 ;;
    -*) echo "usage: $0 [--long] [BUILD_DIR]" >&2; exit 2 ;;
    *) build=$arg ;;
    esac
done

if [[ ! -x "$build/app/brisko" || ! -x "$build/tools/brisko-reg" ]]; then
    if [[ "$build" != build-test ]]; then
        echo "no brisko or brisko-reg in $build" >&2
        exit 2
    fi
    cmake --preset test >/dev/null
    cmake --build --preset test --target brisko brisko-reg
fi
store=$(sed -n 's/^BRISKO_SETTINGS_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ -n "$store" ]] || { echo "no BRISKO_SETTINGS_DIR in $build/CMakeCache.txt" >&2; exit 2; }
case "$store" in
/var/lib/* | /etc/* | /usr/*)
    echo "refusing to wipe the real settings folder $store: use a test build" >&2
    exit 2
    ;;
esac

exec python3 scripts/stress.py "$build/app/brisko" "$build/tools/brisko-reg" "$store" \
    --kills "$kills" --seconds "$seconds" --cuts "$cuts"
