#!/usr/bin/env bash
# Installs what is needed, builds and runs every test:
#   1. the ASan+UBSan build with the whole suite (unit, corpus, fuzz replays, tools);
#   2. the ThreadSanitizer build with the concurrency tests;
#   3. the Windows cross build with its tests under Wine.
# Usage: scripts/test.sh [--no-windows] [--no-tsan]
set -euo pipefail
cd "$(dirname "$0")/.."
WINDOWS=1
TSAN=1
for a in "$@"; do
  case "$a" in
    --no-windows) WINDOWS=0 ;;
    --no-tsan) TSAN=0 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
  esac
done
if [ $WINDOWS = 1 ]; then scripts/install-deps.sh --with-windows; else scripts/install-deps.sh; fi

JOBS=$(nproc)
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# Builds of other checkouts of the project share the cache: paths are taken
# relative to the parent folder and debug info does not pin the build folder.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}" CCACHE_NOHASHDIR=1
export CTEST_OUTPUT_ON_FAILURE=1

echo "== ASan+UBSan build, all tests"
cmake --preset asan >/dev/null
cmake --build build/asan -j "$JOBS"
ctest --test-dir build/asan -j "$JOBS" --timeout 900

if [ $TSAN = 1 ]; then
  echo "== ThreadSanitizer build, concurrency tests"
  cmake --preset tsan >/dev/null
  cmake --build build/tsan -j "$JOBS" --target vistrel_tests_base vistrel_tests_image vistrel_tests_files \
    vistrel_tests_formats vistrel_tests_viewer vistrel_tests_index
  ctest --test-dir build/tsan -L concurrency -j "$JOBS" --timeout 900
fi

if [ $WINDOWS = 1 ]; then
  echo "== Windows cross build, tests under Wine"
  export WINEDEBUG=-all
  export WINEPREFIX="${WINEPREFIX:-$HOME/.cache/vistrel-wine}"
  cmake --preset windows >/dev/null
  cmake --build build/windows -j "$JOBS"
  # Make the prefix once, before the tests start Wine in parallel.
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  ctest --test-dir build/windows -j "$JOBS" --timeout 900
fi
echo "== all tests passed"
