#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour sanitizers) in build-fuzz and
# runs each for a bounded time. Exits non-zero when any target finds a crash, a hang or a broken
# invariant; the input that did it is kept in fuzz-corpus-findings/.
#
#   scripts/fuzz.sh [SECONDS]     seconds per target, 30 by default
#
# Each target's corpus grows in fuzz-corpus-<target>/ (ignored by git) from run to run, seeded
# afresh every run from fuzz_seeds. FUZZ_TARGETS="fuzz_receive" limits the run to some targets;
# FUZZ_ARGS adds libFuzzer options (for example "-use_value_profile=1").
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/common.sh
source scripts/common.sh

seconds=${1:-30}
case $seconds in
'' | *[!0-9]*)
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
    ;;
esac

ensure_packages "${METERLINK_PACKAGES[@]}" clang libclang-rt-14-dev

build="build-fuzz"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DMETERLINK_FUZZ=ON -DMETERLINK_BUILD_TESTS=OFF -DMETERLINK_BUILD_BENCH=OFF >/dev/null
read -ra targets <<<"${FUZZ_TARGETS:-fuzz_receive fuzz_decode_text fuzz_table_file fuzz_table_schema}"
read -ra extra_args <<<"${FUZZ_ARGS:-}"
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" fuzz_seeds

# Scratch space (seeds, logs, the table target's files) in memory where there is some.
scratch_base=/dev/shm
[ -d "$scratch_base" ] && [ -w "$scratch_base" ] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/meterlink-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
findings=$PWD/fuzz-corpus-findings
mkdir -p "$findings"

# The sanitizers stop at the first report; libFuzzer turns every report into a saved input.
export ASAN_OPTIONS=halt_on_error=1:print_stacktrace=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

failed=()
for target in "${targets[@]}"; do
    case $target in
    fuzz_receive) seeds=receive max_len=4096 ;;
    fuzz_decode_text) seeds=decode_text max_len=256 ;;
    fuzz_table_file) seeds=table max_len=65536 ;;
    fuzz_table_schema) seeds="" max_len=4096 ;; # its inputs are statements, not files: no seeds
    *)
        echo "unknown fuzz target $target" >&2
        exit 2
        ;;
    esac
    corpus=fuzz-corpus-${target#fuzz_}
    mkdir -p "$corpus" "$scratch/tmp-$target"
    mkdir -p "$scratch/seeds-$target"
    [ -z "$seeds" ] || "$build/fuzz/fuzz_seeds" "$seeds" "$scratch/seeds-$target" >/dev/null
    log=$scratch/$target.log
    echo "== $target: $seconds s"
    status=0
    TMPDIR=$scratch/tmp-$target "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$findings/$target-" \
        "${extra_args[@]}" "$corpus" "$scratch/seeds-$target" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    corpus_size=$(find "$corpus" -type f | wc -l)
    if [ "$status" -ne 0 ]; then
        echo "$target: FAILED (exit $status) after ${runs:-?} executions:"
        grep -E "invariant broken|ERROR: |runtime error|SUMMARY|Test unit written" "$log" | head -20 || true
        echo "   full log:"
        tail -60 "$log" | sed 's/^/   /'
        failed+=("$target")
    else
        echo "$target: ${runs:-?} executions, corpus $corpus_size inputs, no finding"
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing found problems in: ${failed[*]} (inputs in $findings)" >&2
    exit 1
fi
rmdir "$findings" 2>/dev/null || true
echo "fuzzing: ${#targets[@]} targets, no finding"
