#!/usr/bin/env bash
# Starts or ends the Wine session (persistent wineserver plus an Xvfb display) of a build tree.
# Wine's background processes inherit the stderr of the first program of a session; starting
# the session here with every stream on /dev/null keeps test runners from waiting on them.
#   wine-session.sh BUILD_DIR start|stop
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
# shellcheck disable=SC1091
. "$BUILD/wine-env.sh"
display_num="${DISPLAY#:}"
xvfb_pid_file="$BUILD/xvfb.pid"
case "$2" in
  start)
    if ! { [ -f "$xvfb_pid_file" ] && kill -0 "$(cat "$xvfb_pid_file")" 2>/dev/null; }; then
      rm -f "/tmp/.X${display_num}-lock" "/tmp/.X11-unix/X${display_num}"
      setsid Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      echo $! > "$xvfb_pid_file"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display_num}" ] && break; sleep 0.1; done
    fi
    setsid wineserver -p </dev/null >/dev/null 2>&1 || true
    setsid "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    if [ -f "$xvfb_pid_file" ]; then kill "$(cat "$xvfb_pid_file")" 2>/dev/null || true; rm -f "$xvfb_pid_file"; fi
    ;;
  *) echo "usage: wine-session.sh BUILD_DIR start|stop" >&2; exit 2 ;;
esac
