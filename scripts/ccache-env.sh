# Sourced by build.sh and test.sh (and so by run.sh): one compiler-cache setup
# for every build of a clone. The cache lives in the user's cache folder, so
# clones and runs on one machine share it; inside the clone when that folder
# cannot be written. Paths under the clone are hashed relative to it, so a
# second clone hits what the first compiled. Expects $root, the clone's root.
if [ -z "${CCACHE_DIR:-}" ]; then
  CCACHE_DIR=${XDG_CACHE_HOME:-${HOME:-/nonexistent}/.cache}/ccache
  if ! mkdir -p "$CCACHE_DIR" 2>/dev/null || [ ! -w "$CCACHE_DIR" ]; then
    CCACHE_DIR=$root/.cache/ccache
  fi
fi
export CCACHE_DIR CCACHE_BASEDIR=$root
