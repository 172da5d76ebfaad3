# Shell functions shared by the run and test commands (sourced, not run).

# Makes a Wine prefix once; a prefix must be made after wine32 is installed.
tillvox_make_prefix() {
  local prefix=$1
  if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$prefix" wineserver -w
  fi
}

# Starts a virtual X display for this run unless TILLVOX_USE_DISPLAY asks for the user's own.
tillvox_start_display() {
  if [ -n "${TILLVOX_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then return; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    TILLVOX_XVFB_PID=$!
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    trap 'tillvox_stop_display' EXIT
    return
  done
  echo "no free X display number" >&2
  return 1
}

tillvox_stop_display() {
  [ -n "${TILLVOX_XVFB_PID:-}" ] && kill "$TILLVOX_XVFB_PID" 2>/dev/null || true
}

tillvox_stop_wine() {
  WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
}
