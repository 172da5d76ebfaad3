#!/usr/bin/env bash
# Runs one test command on a virtual X display of its own, started for it and
# ended after it, so that no other test's window appears in its pictures:
#   scripts/test-on-own-display.sh /usr/lib/wine/wine64 build/win64/win_X_test.exe
set -euo pipefail
source "$(dirname "$0")/env.sh"
unset TILLVOX_USE_DISPLAY
tillvox_start_display
status=0
"$@" || status=$?
exit $status
