#!/usr/bin/env bash
# Runs a test program on an X server of its own (Xvfb), so that suites running
# side by side never share keyboard focus, pointer or overlapping windows.
# The server picks a free display number itself (-displayfd), which stays
# safe when many suites start at once.
set -euo pipefail
fifo_dir=$(mktemp -d)
trap 'rm -rf "$fifo_dir"' EXIT
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo_dir/display" 2>"$fifo_dir/xvfb.log" &
server=$!
display=""
read -r -t 20 display <"$fifo_dir/display" || true
if [ -z "$display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$fifo_dir/xvfb.log" >&2 || true
  kill "$server" 2>/dev/null || true
  exit 1
fi
status=0
DISPLAY=":$display" "$@" || status=$?
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
exit $status
