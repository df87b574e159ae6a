#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite under Xvfb with
# Mesa's software renderer: once as a normal Release build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer in a decimal-comma locale.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/deps.sh"

jobs=$(nproc)
export LIBGL_ALWAYS_SOFTWARE=1
export QT_QPA_PLATFORM=xcb
# The compiler cache is found before HOME is replaced below.
. "$root/scripts/ccache-env.sh"
# The tests never use the real user's folders. Their temporary folders go
# there too, so that those of a test that crashed or timed out go with it.
test_home=$(mktemp -d)
trap 'rm -rf "$test_home"' EXIT
export HOME=$test_home XDG_DATA_HOME=$test_home/data XDG_CACHE_HOME=$test_home/cache
export XDG_CONFIG_HOME=$test_home/config XDG_RUNTIME_DIR=$test_home/run TMPDIR=$test_home/tmp
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi

# run_suite DIR [LOCALE] [ctest options...]: the locale goes to the tests
# through env, not as an assignment in front of the call, since bash would then
# switch its own locale too and warn when the locale was made after it started
# (deps.sh generates it on a fresh machine).
run_suite() {
  local dir=$1 locale=$2
  shift 2
  env ${locale:+LC_ALL=$locale LANG=$locale} xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$dir" --output-on-failure --parallel "$jobs" --timeout 600 "$@"
}

echo "== Release build =="
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release -DNUVARO_WERROR=$werror
status=0
run_suite "$root/build" "" || status=$?

echo "== Sanitizer build =="
"$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNUVARO_SANITIZE=ON -DNUVARO_BUILD_BENCH=OFF -DNUVARO_WERROR=$werror \
  -DNUVARO_SAMPLE_DATA_FROM="$root/build/Nuvaro.app/Contents/Resources/Data"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
# The path is quoted: the sanitizers split their options at spaces.
export LSAN_OPTIONS="suppressions='$root/scripts/lsan.supp':print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# LeakSanitizer's exit-time thread tracer can crash while Mesa's software
# renderer threads are shutting down on a busy machine; a suite that fails
# that way gets one more run. Real failures fail both runs.
run_suite "$root/build-asan" de_DE.UTF-8 --repeat until-pass:2 || status=$?

exit $status
