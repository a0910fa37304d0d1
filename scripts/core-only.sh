#!/usr/bin/env bash
# Builds the core alone, as on a machine with no Qt (Qt is not even looked
# for), with warnings as errors, and runs its tests.
#
# Usage: scripts/core-only.sh [build folder]     (default build-core)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-core}

cmake -S . -B "$build" -DBRISKO_CORE_ONLY=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON \
    -DBRISKO_WERROR=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" -j2
# Nothing of Qt may have entered the build: no include folder, no library.
if grep -qi 'qt6\|/qt/' "$build/compile_commands.json"; then
    echo "FAIL Qt found its way into the core's build:"
    grep -oi '[^ "]*qt6[^ "]*' "$build/compile_commands.json" | sort -u | head
    exit 1
fi
echo "ok   no Qt in the core's compile commands"
ctest --test-dir "$build" --output-on-failure -j2
