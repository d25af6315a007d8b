#!/usr/bin/env bash
# Builds MeterLink with its tests under AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan and runs the whole test suite there. Exits non-zero on any sanitizer report or
# failing test.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/common.sh
source scripts/common.sh

ensure_packages "${METERLINK_PACKAGES[@]}"

build="build-asan"
sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMETERLINK_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" \
    -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j "$(nproc)"

# Every report ends the test program with a failure and a stack. The leak checker runs at every
# test program's exit and needs no suppressions: Qt frees what our programs make it allocate.
export ASAN_OPTIONS=halt_on_error=1:print_stacktrace=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
