#!/usr/bin/env bash
# Installs what is needed and runs the whole test suite: checks of the sources
# (toolkit boundaries, clang-format), the core built and tested alone without
# Qt, the normal build, the same suite under ASan+UBSan, the Windows code under
# Wine, the Windows program driven end to end under Wine with its zip checked,
# the Debian package checked, short fuzzing runs, the stress checks of
# the settings store, and the main test run. The stages that mostly wait run
# in a second lane beside the builds (see "Two lanes" below). Every stage runs, even after
# one has failed; each has a heading and its time, builds write to build-logs/
# and show their end only when they fail, and a summary of all stages comes
# before the main run's own closing lines, which stay the last words (CI reads
# them). The exit status is 1 when any stage failed.
#
# Each extra stage can be skipped while developing:
#   BRISKO_SKIP_SOURCES / BRISKO_SKIP_CORE / BRISKO_SKIP_ASAN / BRISKO_SKIP_WINE /
#   BRISKO_SKIP_PACKAGE / BRISKO_SKIP_FUZZ / BRISKO_SKIP_STRESS=1
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
logs=build-logs
mkdir -p "$logs"

stage_titles=()
stage_results=()
stage_notes=()
started=$SECONDS

duration() {
    local s=$1
    if ((s >= 60)); then echo "$((s / 60)) min $((s % 60)) s"; else echo "$s s"; fi
}
record() { # title result note
    stage_titles+=("$1")
    stage_results+=("$2")
    stage_notes+=("$3")
}

# run_stage <log name> <title> <quiet|shown> <command...>
#   quiet: output only into build-logs/<log name>.log, its last lines on failure
#   shown: output on the screen as it comes, and into the log as well
run_stage() {
    local title=$2 mode=$3 log=$logs/$1.log t0=$SECONDS rc=0
    shift 3
    echo
    echo "==> $title"
    if [[ $mode == quiet ]]; then
        echo "    (output in $log)"
        "$@" >"$log" 2>&1 || rc=$?
        if [[ $rc != 0 ]]; then
            echo "    last lines of $log:"
            tail -n 40 "$log" | sed 's/^/    | /'
        fi
    else
        "$@" 2>&1 | tee "$log"
        rc=${PIPESTATUS[0]}
    fi
    ended "$title" "$rc" $((SECONDS - t0)) "$log"
    return "$rc"
}

# ended <title> <exit status> <seconds> <log>: the stage's closing line and record.
ended() {
    local title=$1 rc=$2 took log=$4
    took=$(duration "$3")
    if [[ $rc == 0 ]]; then
        echo "<== $title: ok, $took"
        record "$title" ok "$took"
    else
        echo "<== $title: FAILED (exit status $rc), $took; full output in $log"
        record "$title" FAIL "$took, see $log"
    fi
}

# skipped <variable> <title>: true, after noting the skip, when <variable> is 1.
skipped() {
    [[ ${!1:-0} == 1 ]] || return 1
    echo
    echo "==> $2: skipped ($1=1)"
    record "$2" skip "$1=1"
}

build_preset() {
    cmake --preset "$1" && cmake --build --preset "$1"
}

echo "Brisko's test suite. It installs missing packages with apt-get (as root or"
echo "through sudo). Under CI (CI=true), or with BRISKO_PACKAGE_INSTALL=1, it also"
echo "installs and purges the brisko package, moving /var/lib/brisko aside and back."
echo "Logs: $logs/"

if ! run_stage packages "Packages for building and testing (apt-get)" shown \
    bash scripts/install-deps.sh test; then
    echo "The packages could not be installed; nothing else can run." >&2
    exit 1
fi

if ! skipped BRISKO_SKIP_SOURCES "Source checks: toolkit boundaries and clang-format"; then
    run_stage sources "Source checks: toolkit boundaries and clang-format" shown \
        bash scripts/check-sources.sh
fi

# Two lanes. The builds, the Wine stages, packaging and fuzzing keep both
# cores busy; the store's stress checks and the two test runs mostly wait
# (programs sleeping through real seconds, X servers, child processes). So the
# waiting stages run in a second lane beside the busy ones, one after another,
# and the busy lane runs at a lower priority, so that the tests' timing is
# what it would be on an idle machine. The second lane's stages write only to
# their logs; they are shown, in order, once both lanes are done.
lane=$logs/lane
rm -rf "$lane"
mkdir -p "$lane"

# lane_stage <log name> <command...>: runs in the second lane, leaving
# <log name>.rc and <log name>.took beside the log.
lane_stage() {
    local name=$1 t0=$SECONDS rc=0
    shift
    "$@" >"$logs/$name.log" 2>&1 || rc=$?
    echo "$rc" >"$lane/$name.rc"
    echo "$((SECONDS - t0))" >"$lane/$name.took"
}

# show_lane_stage <log name> <title> <quiet|shown>: records a second-lane stage.
show_lane_stage() {
    local name=$1 title=$2 mode=$3 log=$logs/$1.log
    echo
    echo "==> $title (ran beside the builds)"
    if [[ ! -f $lane/$name.rc ]]; then
        echo "<== $title: FAILED, it did not finish"
        record "$title" FAIL "did not finish, see $log"
        return
    fi
    local rc
    rc=$(<"$lane/$name.rc")
    if [[ $mode == shown ]]; then
        cat "$log"
    elif [[ $rc != 0 ]]; then
        echo "    last lines of $log:"
        tail -n 40 "$log" | sed 's/^/    | /'
    fi
    ended "$title" "$rc" "$(<"$lane/$name.took")" "$log"
}

run_stage build "Normal build (build-test)" quiet build_preset test
main_built=$?

stress_title="Stress checks of the settings store"
asan_title="Tests under AddressSanitizer and UBSan (ctest --preset asan)"
ctest_title="Main test run (ctest --preset test)"
skip_stress=${BRISKO_SKIP_STRESS:-0}
skip_asan=${BRISKO_SKIP_ASAN:-0}

# The second lane: the stress checks and the main run on the normal build,
# then the sanitizer run once the busy lane has built it (a flag file says so).
(
    if [[ $skip_stress != 1 && $main_built == 0 ]]; then
        lane_stage stress bash scripts/stress.sh build-test
    fi
    lane_stage ctest ctest --preset test
    if [[ $skip_asan != 1 ]]; then
        while [[ ! -f $lane/asan-build.rc ]]; do sleep 2; done
        if [[ $(<"$lane/asan-build.rc") == 0 ]]; then
            lane_stage asan-tests ctest --preset asan
        fi
    fi
) &
lane_pid=$!
trap 'pkill -TERM -P "$lane_pid" 2>/dev/null; kill "$lane_pid" 2>/dev/null' EXIT

# The busy lane's commands, shell functions included, at a lower priority.
busy() { (
    renice -n 10 -p "$BASHPID" >/dev/null
    "$@"
); }

if ! skipped BRISKO_SKIP_CORE "The core alone, without Qt (build-core)"; then
    run_stage core "The core alone, without Qt (build-core)" quiet \
        busy bash scripts/core-only.sh build-core
fi

if ! skipped BRISKO_SKIP_ASAN "Sanitizer build (build-asan)"; then
    asan_rc=0
    run_stage asan-build "Sanitizer build (build-asan)" quiet busy build_preset asan || asan_rc=$?
    echo "$asan_rc" >"$lane/asan-build.rc"
fi

if ! skipped BRISKO_SKIP_WINE "Windows code under Wine"; then
    run_stage wine "Windows code under Wine" shown busy bash scripts/wine-test.sh
fi

if ! skipped BRISKO_SKIP_WINE "The Windows program under Wine: driver and zip"; then
    run_stage wine-e2e "The Windows program under Wine: driver and zip" shown \
        busy bash scripts/wine-e2e.sh
fi

if ! skipped BRISKO_SKIP_PACKAGE "Debian package"; then
    run_stage package "Debian package" shown busy bash scripts/package-test.sh
fi

if ! skipped BRISKO_SKIP_FUZZ "Fuzzing, 15 s per target"; then
    run_stage fuzz "Fuzzing, 15 s per target" shown busy bash scripts/fuzz.sh 15
fi

echo
echo "==> Waiting for the second lane (stress checks and test runs)"
wait "$lane_pid"
trap - EXIT

if ! skipped BRISKO_SKIP_STRESS "$stress_title"; then
    if [[ $main_built == 0 ]]; then
        show_lane_stage stress "$stress_title" shown
    else
        record "$stress_title" FAIL "not run: the normal build failed"
    fi
fi
if [[ $skip_asan != 1 ]]; then
    if [[ $(<"$lane/asan-build.rc") == 0 ]]; then
        show_lane_stage asan-tests "$asan_title" shown
    else
        record "$asan_title" FAIL "not run: the build failed"
    fi
fi
# The main run is shown last, so that its closing lines end the output.
show_lane_stage ctest "$ctest_title" shown

failed=()
echo
echo "==> Summary ($(duration $((SECONDS - started))) in all)"
for i in "${!stage_titles[@]}"; do
    printf '    %-5s %-62s %s\n' "${stage_results[$i]}" "${stage_titles[$i]}" "${stage_notes[$i]}"
    [[ ${stage_results[$i]} == FAIL ]] && failed+=("${stage_titles[$i]}")
done
if [[ ${#failed[@]} -eq 0 ]]; then
    echo "All stages passed."
else
    echo "FAILED: ${#failed[@]} of ${#stage_titles[@]} stages (exit status 1):"
    printf '    %s\n' "${failed[@]}"
fi
echo
echo "The main test run ended with:"
# From ctest's "N% tests passed" line to its end, as ctest printed it.
closing=$(sed -n '/tests passed, [0-9]* tests\{0,1\} failed out of/,$p' "$logs/ctest.log")
if [[ -n $closing ]]; then
    echo "$closing"
else
    tail -n 5 "$logs/ctest.log"
fi
[[ ${#failed[@]} -eq 0 ]]
