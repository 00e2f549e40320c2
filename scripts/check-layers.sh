#!/usr/bin/env bash
# Fails when a source file includes a header of a layer it may not use (one above it or
# beside it), or when a layer below the setup library includes Qt. The build links each
# layer only against those it may use; this check keeps the includes to the same plan.
#   scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The layer of a path: the longest folder prefix in this list wins.
layer_of() {
  case "$1" in
    platform/*) echo platform ;;
    framework/*) echo framework ;;
    ports/*) echo ports ;;
    setup/records/*) echo setup_records ;;
    automation/contract/*) echo contract ;;
    channels/*) echo channels ;;
    setup/*) echo setup_pages ;;
    automation/client/*) echo client ;;
    automation/*) echo server ;;
    app/*) echo app ;;
    examples/*) echo examples ;;
    tests/support/*) echo test_support ;;
    tests/*/*)
      local area=${1#tests/}
      echo "test_${area%%/*}"
      ;;
    *) echo "" ;;
  esac
}

# Which layers a layer's files may include, besides its own. Lowest first.
declare -A allowed=(
  [platform]=""
  [framework]=""
  [ports]="platform"
  [setup_records]="framework"
  [contract]="framework"
  [channels]="platform framework ports setup_records contract"
  [setup_pages]="framework setup_records contract"
  [client]="framework contract"
  [server]="platform framework ports setup_records contract channels client"
  [app]="platform framework ports setup_records contract channels setup_pages client server"
  [examples]="framework setup_records contract setup_pages client"
)
# Tests of a layer use that layer, what it may use, and the shared test helpers.
for area in platform framework ports channels app; do
  allowed[test_$area]="$area ${allowed[$area]} test_support"
done
allowed[test_setup]="setup_pages ${allowed[setup_pages]} platform test_support"
allowed[test_automation]="server ${allowed[server]} setup_pages test_support"
# The network device tests reach their peers through a mapped port of the registry.
allowed[test_platform]+=" ports channels"
# The shared-port tests drive the port through a channel's buffer.
allowed[test_ports]+=" channels"
allowed[test_support]="platform framework ports setup_records contract channels setup_pages"

# Layers with no Qt at all.
no_qt=" platform framework ports setup_records contract channels "

failures=0
while IFS= read -r file; do
  from=$(layer_of "$file")
  [ -n "$from" ] || continue
  [ -n "${allowed[$from]+set}" ] || continue
  while IFS=: read -r line text; do
    target=${text#*\"}
    target=${target%%\"*}
    to=$(layer_of "$target")
    [ -n "$to" ] || continue
    [ "$to" = "$from" ] && continue
    case " ${allowed[$from]} " in
      *" $to "*) ;;
      *)
        echo "$file:$line: $from may not include $target ($to)" >&2
        failures=$((failures + 1))
        ;;
    esac
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  if [[ "$no_qt" == *" $from "* ]]; then
    while IFS= read -r hit; do
      echo "$file:${hit%%:*}: $from has no Qt" >&2
      failures=$((failures + 1))
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(Q|qt)' "$file" || true)
  fi
done < <(git ls-files '*.cpp' '*.h')

if [ "$failures" -gt 0 ]; then
  echo "layers: $failures include(s) cross a layer (table in scripts/check-layers.sh)" >&2
  exit 1
fi
echo "layers: every include stays within its layer's allowed table"
