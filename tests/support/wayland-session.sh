#!/bin/sh
# Runs a command inside a Wayland session: a headless weston compositor beside
# the X server that DISPLAY names, with the variables a Wayland desktop sets,
# so that Qt on its own would pick its Wayland platform.
# --no-x11: the command sees no X server at all.
set -eu
hide_x11=0
if [ "${1:-}" = "--no-x11" ]; then
  hide_x11=1
  shift
fi
runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
socket=qurel-wayland
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --no-config \
  >"$runtime/weston.log" 2>&1 &
weston_pid=$!
trap 'kill "$weston_pid" 2>/dev/null; wait "$weston_pid" 2>/dev/null; rm -rf "$runtime"' EXIT
tries=0
while [ ! -S "$runtime/$socket" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ] || ! kill -0 "$weston_pid" 2>/dev/null; then
    echo "wayland-session: weston did not start" >&2
    cat "$runtime/weston.log" >&2
    exit 1
  fi
  sleep 0.1
done
export WAYLAND_DISPLAY="$socket" XDG_SESSION_TYPE=wayland
unset QT_QPA_PLATFORM
if [ "$hide_x11" = 1 ]; then
  unset DISPLAY
fi
"$@"
