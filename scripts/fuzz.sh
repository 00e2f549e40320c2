#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (libraries instrumented, address and undefined
# sanitizers on) and runs each over its seed corpus for a while: a smoke run.
#
#   scripts/fuzz.sh [seconds per target, default 10] [target names, default all]
#
# FUZZ_BUILD_DIR (default build-fuzz) is the build directory, FUZZ_JOBS (default 2) the build
# jobs, FUZZ_BUILD_TYPE (default RelWithDebInfo) the build type, FUZZ_CMAKE_ARGS more cmake
# arguments (split on blanks). New corpus entries go to a scratch directory, never into
# fuzz/corpus; a crashing input is kept as <build dir>/fuzz-artifacts/<target>/crash-*.
# Exits non-zero when a target fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
dir=${FUZZ_BUILD_DIR:-build-fuzz}
jobs=${FUZZ_JOBS:-2}
build_type=${FUZZ_BUILD_TYPE:-RelWithDebInfo}
read -r -a extra <<<"${FUZZ_CMAKE_ARGS:-}"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in fuzz/*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTOLVAN_FUZZ=ON -DTOLVAN_BUILD_TESTS=OFF \
  -DTOLVAN_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DCMAKE_BUILD_TYPE="$build_type" ${extra[@]+"${extra[@]}"} >/dev/null
cmake --build "$dir" -j"$jobs" --target "${targets[@]/#/fuzz_}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=()
for t in "${targets[@]}"; do
  seeds=fuzz/corpus/$t
  work=$scratch/$t
  artifacts=$dir/fuzz-artifacts/$t
  mkdir -p "$work" "$artifacts"
  [ -d "$seeds" ] || seeds=
  echo "== fuzz_$t for ${seconds}s"
  if "$dir/fuzz/fuzz_$t" "$work" ${seeds:+"$seeds"} -max_total_time="$seconds" \
       -timeout=25 -rss_limit_mb=2048 -artifact_prefix="$artifacts/" -print_final_stats=1 \
       >"$scratch/$t.log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+[[:space:]]+DONE' "$scratch/$t.log" || true
  else
    tail -n 40 "$scratch/$t.log"
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran clean"
