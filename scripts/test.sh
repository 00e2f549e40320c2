#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite on a private session bus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
cd "${BUILD_DIR:-build}"
dbus-run-session -- ctest --output-on-failure -j"$(nproc)" --timeout 300
