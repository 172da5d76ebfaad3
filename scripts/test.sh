#!/usr/bin/env bash
# Sets up, builds and runs every test: the native tests under sanitizers and
# the Windows tests under Wine on a virtual display.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
run_started=$SECONDS
stage_started=$SECONDS
# Prints how long the stage that just ended took.
stage() {
  echo "stage: $1 took $((SECONDS - stage_started)) s"
  stage_started=$SECONDS
}
"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"
stage "installing"

jobs=$(nproc)
mkdir -p build
# The Wine prefix is made while the programs build: it needs only Wine.
tillvox_pick_wine
prefix_log=$top/build/prefix.log
tillvox_make_prefix "$top/build/wineprefix" >"$prefix_log" 2>&1 &
prefix_pid=$!

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
stage "building the native tests"
# The product is the 32-bit program; it is always built. Its tests run under
# Wine in the build this machine can run (the 64-bit one where 32-bit
# programs cannot run at all).
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" >/dev/null
if [ "$TILLVOX_WIN_BUILD" = build/win ]; then
  cmake --build build/win -j "$jobs"
else
  echo "this machine runs no 32-bit programs: building the 32-bit program, testing the 64-bit build under wine64"
  cmake --build build/win -j "$jobs" --target Tillvox dvrsim possim closeprogram TillvoxSetup
  cmake -S . -B "$TILLVOX_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/$TILLVOX_WIN_TOOLCHAIN" >/dev/null
  cmake --build "$TILLVOX_WIN_BUILD" -j "$jobs"
fi
stage "building the Windows programs and tests"

prefix_status=0
wait "$prefix_pid" || prefix_status=$?
cat "$prefix_log"
[ "$prefix_status" -eq 0 ] || exit 1
export WINEPREFIX="$top/build/wineprefix"
export TILLVOX_NATIVE_BIN_DIR="$top/build/native/bin"
# Ports the run's tests and scripts claimed, one folder each: see tillvox_free_port.
export TILLVOX_PORT_CLAIMS="$top/build/port-claims"
rm -rf "$TILLVOX_PORT_CLAIMS"
mkdir -p "$TILLVOX_PORT_CLAIMS"
tillvox_start_display
holder="$top/$TILLVOX_WIN_BUILD/support/session_holder.exe"
# Tests that use the program's data folder, start the program or show its
# windows run in three test slots (prefixes and displays of their own) side by
# side; the other slots' prefixes are copied from this one before its server starts.
tillvox_start_test_slots "$top/build/wineprefix" 3 "$holder" "$top/build"
# One Wine server for the whole run, its output kept away from the tests' in
# build/wineserver.log, and its session held up until the end of the run.
tillvox_start_wineserver "$top/build/wineserver.log"
tillvox_hold_wine_session "$holder" "$top/build/session-holder.out"
stage "making the Wine prefixes"

status=0
summary=$(mktemp)
# Runs ctest with its output shown and kept for the closing count.
run_ctest() {
  local rc=0
  ctest "$@" 2>&1 | tee -a "$summary" || rc=${PIPESTATUS[0]}
  return "$rc"
}
# The shipped 32-bit programs themselves: beside the Windows tests where this
# machine runs them natively, after them where they run under emulation and
# need the CPU.
smoke_log=$top/build/smoke-32bit.log
smoke_pid=
if tillvox_runs_32bit; then
  "$top/scripts/smoke-32bit.sh" >"$smoke_log" 2>&1 &
  smoke_pid=$!
fi
run_ctest --test-dir build/native -j "$jobs" --output-on-failure --timeout 300 || status=1
# Most Windows tests wait on the network, timers or Wine rather than compute.
run_ctest --test-dir "$TILLVOX_WIN_BUILD" -j 5 --resource-spec-file "$TILLVOX_RESOURCE_SPEC" \
          --output-on-failure --timeout 300 || status=1
stage "running the native and Windows tests"
tillvox_release_wine_session
tillvox_wait_wine
smoke=passed
if [ -n "$smoke_pid" ]; then
  wait "$smoke_pid" || smoke=failed
  tee -a "$summary" <"$smoke_log"
else
  "$top/scripts/smoke-32bit.sh" 2>&1 | tee -a "$summary" || smoke=failed
fi
[ "$smoke" = failed ] && status=1
grep -q '^smoke-32bit: NOT RUN' "$summary" && smoke=skipped
stage "the 32-bit smoke suite (what was left of it)"

# One closing line over every step: the ctest counts (a test that skipped
# itself counts as skipped, not passed), and the 32-bit smoke suite as one test.
read -r total failed < <(sed -n 's/.* tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\2 \1/p' "$summary" |
                         awk '{ t += $1; f += $2 } END { print t + 0, f + 0 }')
skipped=$(grep -c '^[[:space:]]*[0-9]* - .* (Skipped)$' "$summary" || true)
passed=$((total - failed - skipped))
case $smoke in passed) passed=$((passed + 1)) ;; failed) failed=$((failed + 1)) ;; skipped) skipped=$((skipped + 1)) ;; esac
if [ "$skipped" -gt 0 ]; then
  echo "skipped:"
  grep '^[[:space:]]*[0-9]* - .* (Skipped)$' "$summary" || true
  [ "$smoke" = skipped ] && grep '^smoke-32bit: NOT RUN' "$summary"
fi
rm -f "$summary"
[ "$failed" -eq 0 ] || status=1
echo "the test command took $((SECONDS - run_started)) s"
echo "tests: $passed passed, $failed failed, $skipped skipped"
exit $status
