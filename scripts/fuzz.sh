#!/usr/bin/env bash
# Builds the fuzz targets in fuzz/ (libFuzzer + ASan + UBSan, clang 14) and
# runs each for a fixed time. Any crash, failed check, leak, time-out, memory
# blow-up or sanitizer report fails the script.
#
# Usage: scripts/fuzz.sh [seconds per target]     (default 30)
#   BRISKO_FUZZ_BUILD  build folder (default build-fuzz)
#   BRISKO_FUZZ_JOBS   targets run at once (default: the number of cores)
#
# New inputs found go to $BRISKO_FUZZ_BUILD/corpus/<target>, never into the
# seeds in fuzz/corpus; crashing inputs to $BRISKO_FUZZ_BUILD/artifacts/.
# Reproduce one with: $BRISKO_FUZZ_BUILD/fuzz_<target> <artifact file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=${BRISKO_FUZZ_BUILD:-build-fuzz}
jobs=${BRISKO_FUZZ_JOBS:-$(nproc)}
[[ "$seconds" =~ ^[0-9]+$ && "$seconds" -gt 0 ]] || { echo "usage: $0 [seconds]" >&2; exit 2; }

need=()
command -v clang++-14 >/dev/null || need+=(clang-14)
compgen -G '/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null ||
    need+=(libclang-rt-14-dev)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
if [[ ${#need[@]} -gt 0 ]]; then
    SUDO=()
    [[ $(id -u) -ne 0 ]] && SUDO=(sudo)
    echo "Installing with apt-get: ${need[*]} (this takes a while)"
    "${SUDO[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq --no-install-recommends \
        "${need[@]}" >/dev/null
fi

echo "Building the fuzz targets with clang 14 (a minute or two the first time)"
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

# Longest input per target: numbers and pages are short texts; a store file
# gets room for a few keys and values.
declare -A max_len=(
    [leading_number]=1024 [parse_version_text]=1024
    [format_seconds]=64 [format_version_number]=64
    [parse_reg_text]=8192
)
targets=(leading_number parse_version_text format_seconds format_version_number parse_reg_text)

rm -rf "$build/artifacts" "$build/logs"
mkdir -p "$build/artifacts" "$build/logs"

run_one() {
    local t=$1
    mkdir -p "$build/corpus/$t"
    # -timeout: one input taking over 10 s is a hang; -rss_limit_mb: a blow-up.
    set +e
    "$build/fuzz_$t" -max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
        "$build/corpus/$t" "fuzz/corpus/$t" >"$build/logs/$t.log" 2>&1
    echo $? >"$build/logs/$t.rc"
}

rounds=$(((${#targets[@]} + jobs - 1) / jobs))
echo "Running ${#targets[@]} targets for $seconds s each, $jobs at a time" \
    "(about $((rounds * seconds)) s)"
running=0
for t in "${targets[@]}"; do
    if ((running >= jobs)); then
        wait -n || true
        running=$((running - 1))
    fi
    run_one "$t" &
    running=$((running + 1))
done
wait

status=0
for t in "${targets[@]}"; do
    rc=$(cat "$build/logs/$t.rc" 2>/dev/null || echo missing)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$t.log")
    # libFuzzer exits 0 only when the time ran out with nothing found; a
    # sanitizer report on the way also counts, should one ever not abort.
    if [[ $rc != 0 ]] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|CHECK FAILED' \
        "$build/logs/$t.log"; then
        echo "FAIL  $t (exit $rc)"
        grep -E -A25 'CHECK FAILED|ERROR:|runtime error:' "$build/logs/$t.log" | head -40
        ls "$build/artifacts/$t-"* 2>/dev/null | sed 's/^/      input: /'
        status=1
    else
        echo "ok    $t: ${runs:-?} inputs in ${seconds} s"
    fi
done
exit $status
