#!/usr/bin/env bash
# Builds every fuzz target with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (clang++) and runs each for SECONDS, one after the
# other. Fails on any crash, broken property, leak, sanitizer report, or an
# input that takes more than 5 seconds.
#   tests/fuzz/run.sh SECONDS [TARGET...]     targets: tagline project wave usage journal
# The build goes to build-fuzz (or $KELVARK_FUZZ_BUILD). What a target finds is
# left in <build>/tests/fuzz/artifacts/<target>/; the inputs each run adds to
# its corpus stay in <build>/tests/fuzz/work/<target>/ for the next run.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
    echo "usage: tests/fuzz/run.sh SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(tagline project wave usage journal)
build=${KELVARK_FUZZ_BUILD:-build-fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target fuzz_corpus "${targets[@]/%/_fuzz}"

fuzz=$build/tests/fuzz
# The targets write their inputs to files; a memory file system keeps that fast.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
failed=()
for target in "${targets[@]}"; do
    work=$fuzz/work/$target
    artifacts=$fuzz/artifacts/$target
    log=$fuzz/$target.log
    mkdir -p "$work" "$artifacts"
    corpora=("$work" "$fuzz/corpus/$target")
    [ -d "tests/fuzz/regressions/$target" ] && corpora+=("tests/fuzz/regressions/$target")
    status=0
    nice -n 19 "$fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "${corpora[@]}" >"$log" 2>&1 || status=$?
    # A sanitizer report fails the run even if the process somehow went on.
    if grep -qE "ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|property broken" "$log"; then
        [ "$status" -ne 0 ] || status=1
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$status" -eq 0 ]; then
        echo "$target: ${executions:-?} executions in ${seconds} s, nothing found"
    else
        echo "$target: FAILED (exit $status) after ${executions:-?} executions; log $log, inputs in $artifacts/"
        tail -n 40 "$log"
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found problems in: ${failed[*]}" >&2
    exit 1
fi
