#!/usr/bin/env bash
# Configures and builds into ${BUILD_DIR:-build}; extra arguments go to cmake.
# TOLVAN_WERROR=ON (CI sets it) makes every compiler warning an error.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build}
cmake -S . -B "$dir" -G Ninja -DTOLVAN_WERROR="${TOLVAN_WERROR:-OFF}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
