#!/usr/bin/env bash
# Runs a test command in the test slot ctest gave it: the Wine prefix and the
# display of slot N, where ctest's resource allocation says
# CTEST_RESOURCE_GROUP_0_PREFIX=id:N,slots:1 and the test command described the
# slot in $TILLVOX_SLOTS_DIR/N (scripts/env.sh, tillvox_start_test_slots).
# Without an allocation (ctest run without the test slots' resource file) the command runs
# in the caller's prefix and display.
#   in-test-slot.sh COMMAND [ARGS...]
set -euo pipefail
group=${CTEST_RESOURCE_GROUP_0_PREFIX:-}
if [ -n "$group" ] && [ -n "${TILLVOX_SLOTS_DIR:-}" ]; then
  slot=${group#id:}
  slot=${slot%%,*}
  file=$TILLVOX_SLOTS_DIR/$slot
  if [ ! -f "$file" ]; then
    echo "in-test-slot.sh: no test slot $slot in $TILLVOX_SLOTS_DIR" >&2
    exit 1
  fi
  WINEPREFIX=$(sed -n 's/^WINEPREFIX=//p' "$file")
  DISPLAY=$(sed -n 's/^DISPLAY=//p' "$file")
  export WINEPREFIX DISPLAY
fi
exec "$@"
