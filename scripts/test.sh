#!/usr/bin/env bash
# Installs what is needed and runs the whole test suite: the normal build, the
# same suite under ASan+UBSan, the Windows code under Wine, and the Debian
# package built, installed, run and purged, short fuzzing runs and the stress
# checks of the settings store. Each extra stage can be skipped with
# BRISKO_SKIP_ASAN/WINE/PACKAGE/FUZZ/STRESS=1 while developing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test

start=$SECONDS
status=0

cmake --preset test >/dev/null
cmake --build --preset test

if [[ "${BRISKO_SKIP_ASAN:-0}" != 1 ]]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan
    ctest --preset asan || { echo "Sanitizer run FAILED"; status=1; }
fi

if [[ "${BRISKO_SKIP_WINE:-0}" != 1 && -f scripts/wine-test.sh ]]; then
    bash scripts/wine-test.sh || { echo "Windows run under Wine FAILED"; status=1; }
fi

if [[ "${BRISKO_SKIP_PACKAGE:-0}" != 1 ]]; then
    bash scripts/package-test.sh || { echo "Debian package check FAILED"; status=1; }
fi

if [[ "${BRISKO_SKIP_FUZZ:-0}" != 1 ]]; then
    bash scripts/fuzz.sh 30 || { echo "Fuzzing FAILED"; status=1; }
fi

if [[ "${BRISKO_SKIP_STRESS:-0}" != 1 ]]; then
    bash scripts/stress.sh build-test || { echo "Stress checks FAILED"; status=1; }
fi

echo "Stages before the main run took $((SECONDS - start)) s; status so far: $status"
# The main run comes last, so its summary is the suite's last word.
ctest --preset test || status=1
exit $status
