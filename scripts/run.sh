#!/usr/bin/env bash
# Installs what is missing, builds, and starts the server. Without a profile of your own it
# uses a built-in one: COM1 is an in-process loopback, COM2 a simulated modem.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
profile=${TOLVAN32_PROFILE:-${XDG_CONFIG_HOME:-$HOME/.config}/tolvan32/tolvan32.ini}
if [ ! -f "$profile" ]; then
  mkdir -p "$(dirname "$profile")"
  cp scripts/default-profile.ini "$profile"
fi
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
exec "${BUILD_DIR:-build}"/app/tolvan32 --profile "$profile" "$@"
