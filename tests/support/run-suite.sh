#!/usr/bin/env bash
# Runs one test program in folders of its own: a fresh HOME, XDG folders and
# TMPDIR, removed afterwards, so that suites running side by side never share
# settings, caches or the user atlas folder (two suites installing the atlas
# into one folder at once make one of them fail). With --display the program
# also gets an X server of its own (Xvfb): suites side by side would otherwise
# share keyboard focus and the pointer, and their windows, all placed at the
# top left without a window manager, overlap. The server picks a free display
# number itself (-displayfd), which stays safe when many suites start at once.
set -euo pipefail
own_display=false
if [ "${1:-}" = "--display" ]; then
  own_display=true
  shift
fi
home=$(mktemp -d "${TMPDIR:-/tmp}/nuvaro-suite.XXXXXX")
server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$home"
}
trap cleanup EXIT
mkdir -p "$home/data" "$home/cache" "$home/config" "$home/run" "$home/tmp"
chmod 700 "$home/run"
export HOME=$home XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache
export XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run TMPDIR=$home/tmp

if $own_display; then
  mkfifo "$home/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$home/display" 2>"$home/xvfb.log" &
  server=$!
  display=""
  # A server that fails closes the pipe at once; the bound is for one that hangs.
  read -r -t 60 display <"$home/display" || true
  if [ -z "$display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$home/xvfb.log" >&2 || true
    exit 1
  fi
  export DISPLAY=":$display"
fi

status=0
"$@" || status=$?
exit $status
