#!/usr/bin/env bash
# Installs what is missing, builds MeterLink with its tests and benchmarks, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

ensure_packages "${METERLINK_PACKAGES[@]}"
build_meterlink build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j "$(nproc)"
