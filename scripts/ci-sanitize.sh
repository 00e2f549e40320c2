#!/usr/bin/env bash
# The sanitizer part of CI, run after scripts/test.sh:
#   asan  the whole test suite built with AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan  the threaded tests (transfer thread, shared port, calls to the server over the
#         bus, faults, concurrency) built with ThreadSanitizer
#   fuzz  every fuzz target for a few seconds (scripts/fuzz.sh)
#
#   scripts/ci-sanitize.sh [stage...]        default: asan tsan fuzz
#
# Environment: CI_BUILD_ROOT (default build) - the stages build in <root>-asan, <root>-tsan
# and <root>-fuzz; CI_JOBS (default nproc); FUZZ_SECONDS (default 5); TSAN_TESTS, a ctest
# regular expression that picks the threaded tests; ASAN_EXCLUDE, a ctest regular expression
# of the tests the address sanitizer run leaves out; TSAN_EXCLUDE, likewise for the thread
# sanitizer run.
#
# Any sanitizer report fails the stage: the sanitizers stop the process at the first report,
# which fails its test; the address, leak and thread sanitizers also write every report, also
# one of a server process a test started and did not look at, under
# <build dir>/sanitizer-reports, and the stage fails when that folder is not empty. (The
# undefined-behaviour sanitizer of gcc writes to standard error whatever log_path says.)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_root=${CI_BUILD_ROOT:-build}
case $build_root in /*) ;; *) build_root=$root/$build_root ;; esac
jobs=${CI_JOBS:-$(nproc)}
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(asan tsan fuzz)

# Test suites that start threads: file transfers, the shared port and its pty and
# infra-red drivers, the server on the bus (calls, call workers, transfers, concurrency),
# faults of a server process; devices that come and go (the watcher thread); the window's
# work on the channels' lanes; channel streams (their reader thread); one modem conversation
# at a time; the wait reactor and the wake-ups of waiting reads.
default_tsan='^([A-Za-z]+/)?(DocCommXModem|DocCommXModemAbort|FileTransferTest|Sx[A-Za-z]*|SharedPort[A-Za-z]*|IrPtyLink|CallQueue|CallTimeout|Fault[A-Za-z]*|ServerOnBus|ServerWithPortsOneAndThree|TransferOnBus|ConcurrentCalls|PortReconnect|PortDiscovery[A-Za-z]*|DeviceWatcher|WindowLaneTest|ChannelStream|StreamServer|LockReleaseHook|NetPortTest|NetOpenTest|IrIdleTest|ModemTurnTest|ModemPendingTurnTest|WaitReactorTest|DocCommWakeTest|DocCommLoopWake|IRChannelTest)\.'
tsan_tests=${TSAN_TESTS:-$default_tsan}
# The thousand channels on one port are a load test; under the thread sanitizer they run into
# its own internal limits and take minutes.
tsan_exclude=${TSAN_EXCLUDE:-'^FaultServer\.ThousandChannels'}
# Left out of the address sanitizer run: the soak test's check that the server's memory does
# not grow, which the sanitizer's quarantine of freed memory defeats (it runs in the normal
# suite).
asan_exclude=${ASAN_EXCLUDE:-'^Soak\.'}
supp=$root/scripts/sanitizers

scripts/deps.sh

# Configures <dir> for a sanitizer build: no optimisation to keep the build short, line
# tables for the reports, no benchmarks.
configure() {
  local dir=$1 sanitize=$2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" \
    -DCMAKE_C_FLAGS_DEBUG="-O0 -g1" -DTOLVAN_SANITIZE="$sanitize" -DTOLVAN_BENCH=OFF \
    -DTOLVAN_FUZZ=OFF -DTOLVAN_BUILD_TESTS=ON >/dev/null
}

# Runs ctest in <dir> with the given extra arguments on a private session bus, then fails
# when any process left a sanitizer report.
run_suite() {
  local dir=$1
  shift
  local reports=$dir/sanitizer-reports
  rm -rf "$reports"
  mkdir -p "$reports"
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:log_path=$reports/asan"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$supp/tsan.supp:print_suppressions=0:log_path=$reports/tsan"
  export QT_QPA_PLATFORM=offscreen
  local rc=0
  (cd "$dir" && dbus-run-session -- ctest --output-on-failure -j"$jobs" --timeout 300 "$@") || rc=$?
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS
  if [ -n "$(ls -A "$reports")" ]; then
    for f in "$reports"/*; do
      echo "==== sanitizer report $f"
      cat "$f"
    done
    echo "sanitizer reports in $dir: $(ls "$reports" | wc -l)" >&2
    rc=1
  fi
  return $rc
}

stage_asan() {
  local dir=$build_root-asan
  configure "$dir" address,undefined
  cmake --build "$dir" -j"$jobs"
  run_suite "$dir" -E "$asan_exclude"
}

stage_tsan() {
  local dir=$build_root-tsan
  configure "$dir" thread
  # Only what the threaded tests run: their test programs and the server they start.
  cmake --build "$dir" -j"$jobs" --target test_ports test_channels test_automation tolvan32
  run_suite "$dir" -R "$tsan_tests" -E "$tsan_exclude" --no-tests=error
}

stage_fuzz() {
  FUZZ_BUILD_DIR=$build_root-fuzz FUZZ_JOBS=$jobs FUZZ_BUILD_TYPE=Debug \
    FUZZ_CMAKE_ARGS="-DCMAKE_CXX_FLAGS_DEBUG=-O1 -DTOLVAN_BENCH=OFF" \
    scripts/fuzz.sh "${FUZZ_SECONDS:-5}"
}

failed=()
for s in "${stages[@]}"; do
  start=$SECONDS
  echo "==== stage $s"
  if "stage_$s"; then
    echo "==== stage $s passed in $((SECONDS - start)) s"
  else
    echo "==== stage $s FAILED in $((SECONDS - start)) s"
    failed+=("$s")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed stages: ${failed[*]}" >&2
  exit 1
fi
echo "all sanitizer stages passed"
