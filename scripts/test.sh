#!/usr/bin/env bash
# Sets up, builds and runs every test: the native tests under sanitizers and
# the Windows tests under Wine on a virtual display.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"

jobs=$(nproc)
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
# The product is the 32-bit program; it is always built. Its tests run under
# Wine in the build this machine can run (the 64-bit one where 32-bit
# programs cannot run at all).
tillvox_pick_wine
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

tillvox_make_prefix "$top/build/wineprefix"
export WINEPREFIX="$top/build/wineprefix"
export TILLVOX_NATIVE_BIN_DIR="$top/build/native/bin"
tillvox_start_display
# One Wine server for the whole run, its output kept away from the tests' in
# build/wineserver.log, and its session held up until the end of the run.
tillvox_start_wineserver "$top/build/wineserver.log"
tillvox_hold_wine_session "$top/$TILLVOX_WIN_BUILD/support/session_holder.exe" "$top/build/session-holder.out"

status=0
summary=$(mktemp)
# Runs ctest with its output shown and kept for the closing count.
run_ctest() {
  local rc=0
  ctest "$@" 2>&1 | tee -a "$summary" || rc=${PIPESTATUS[0]}
  return "$rc"
}
run_ctest --test-dir build/native -j "$jobs" --output-on-failure --timeout 300 || status=1
run_ctest --test-dir "$TILLVOX_WIN_BUILD" -j 2 --output-on-failure --timeout 300 || status=1
tillvox_release_wine_session
tillvox_wait_wine
# The shipped 32-bit programs themselves, after the rest: under emulation they need the CPU.
smoke=passed
"$top/scripts/smoke-32bit.sh" 2>&1 | tee -a "$summary" || { smoke=failed; status=1; }
grep -q '^smoke-32bit: NOT RUN' "$summary" && smoke=skipped

# One closing line over every step: the ctest counts, and the 32-bit smoke suite as one test.
read -r total failed < <(sed -n 's/.* tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\2 \1/p' "$summary" |
                         awk '{ t += $1; f += $2 } END { print t + 0, f + 0 }')
passed=$((total - failed))
skipped=0
case $smoke in passed) passed=$((passed + 1)) ;; failed) failed=$((failed + 1)) ;; skipped) skipped=1 ;; esac
rm -f "$summary"
[ "$failed" -eq 0 ] || status=1
echo "tests: $passed passed, $failed failed, $skipped skipped"
exit $status
