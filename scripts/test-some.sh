#!/usr/bin/env bash
# Builds and runs only the tests whose names match a pattern (as ctest -R takes
# it), for work on one part of the program without the whole suite:
#   ./scripts/test-some.sh 'FileCapture|ReadDirChange'
# Native tests are named native.<Name>, tests under Wine win.<Name>. The test
# command (scripts/test.sh) stays the one that runs everything.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
pattern=${1:?usage: scripts/test-some.sh PATTERN [ctest options...]}
shift
"$top/scripts/install-deps.sh"
source "$top/scripts/env.sh"
jobs=${TILLVOX_JOBS:-$(nproc)}

tillvox_pick_wine
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake -S . -B "$TILLVOX_WIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/$TILLVOX_WIN_TOOLCHAIN" >/dev/null

# The build targets of the matching tests, and what every Windows test may start.
native_targets=(dvrsim possim infogenesis-send)
win_targets=(Tillvox dvrsim possim closeprogram infogenesis-sim infogenesis-send session_holder)
while read -r name; do
  case $name in
    native.*) native_targets+=("native_${name#native.}") ;;
    win.Installer) win_targets+=(TillvoxSetup) ;;
    win.*) base=${name#win.}; win_targets+=("win_${base%%.*}") ;;
  esac
done < <(ctest --test-dir build/native -N -R "$pattern" | sed -n 's/^ *Test *#[0-9]*: //p'
         ctest --test-dir "$TILLVOX_WIN_BUILD" -N -R "$pattern" | sed -n 's/^ *Test *#[0-9]*: //p')
mapfile -t win_targets < <(printf '%s\n' "${win_targets[@]}" | sort -u)
cmake --build build/native -j "$jobs" --target "${native_targets[@]}"
cmake --build "$TILLVOX_WIN_BUILD" -j "$jobs" --target "${win_targets[@]}"

tillvox_make_prefix "$top/build/wineprefix"
export WINEPREFIX="$top/build/wineprefix"
export TILLVOX_NATIVE_BIN_DIR="$top/build/native/bin"
tillvox_start_display
tillvox_start_wineserver "$top/build/wineserver.log"
holder="$top/$TILLVOX_WIN_BUILD/support/session_holder.exe"
tillvox_hold_wine_session "$holder" "$top/build/session-holder.out"
# One test slot: tests that need one run one after another, as ctest runs them here.
tillvox_start_test_slots "$top/build/wineprefix" 1 "$holder" "$top/build"

status=0
ctest --test-dir build/native -R "$pattern" --output-on-failure --timeout 300 "$@" || status=1
ctest --test-dir "$TILLVOX_WIN_BUILD" -R "$pattern" --resource-spec-file "$TILLVOX_RESOURCE_SPEC" --output-on-failure --timeout 300 "$@" || status=1
tillvox_release_wine_session
tillvox_wait_wine
exit $status
