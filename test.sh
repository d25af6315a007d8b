#!/usr/bin/env bash
# Installs what is missing, builds MeterLink with its tests and benchmarks, and runs every test:
# the fuzz targets for a short while, the whole suite under the address and undefined-behaviour
# sanitizers, then the whole suite in the normal build.
# Then it checks the Windows side with a Windows compiler and Wine (scripts/check-windows.sh).
# Last, it builds the Debian package from the same build and checks it (scripts/package.sh).
#   SKIP_FUZZ=1 / SKIP_SANITIZERS=1 / SKIP_WINDOWS=1 / SKIP_PACKAGE=1 leave those steps out for a
#   quick local run.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

ensure_packages "${METERLINK_PACKAGES[@]}"
build_meterlink build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -z "${SKIP_FUZZ:-}" ]; then
    echo "== Fuzz targets"
    scripts/fuzz.sh 30
fi
if [ -z "${SKIP_SANITIZERS:-}" ]; then
    echo "== Test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
    scripts/asan.sh
fi

echo "== Test suite"
ctest --test-dir build --output-on-failure -j "$(nproc)"

if [ -z "${SKIP_WINDOWS:-}" ]; then
    scripts/check-windows.sh
fi

if [ -z "${SKIP_PACKAGE:-}" ]; then
    echo "== Debian package"
    scripts/package.sh
fi
