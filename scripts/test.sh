#!/usr/bin/env bash
# Installs what is needed, builds and runs the whole test suite.
#   BUILD_DIR=build-asan SANITIZE=address,undefined scripts/test.sh   (sanitizer pass)
#   TARGETS="test_log" CTEST_REGEX="Logger" ...                       (part of the suite)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${BUILD_DIR:-$root/build}
sanitize=${SANITIZE:-}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DMOSS_SANITIZE="$sanitize" >/dev/null
# TARGETS limits the build to some test binaries (the thread-sanitizer pass).
if [ -n "${TARGETS:-}" ]; then
  for t in $TARGETS; do cmake --build "$build" -j"${JOBS:-2}" --target "$t"; done
else
  cmake --build "$build" -j"${JOBS:-2}"
fi
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-ignore_noninstrumented_modules=1:halt_on_error=1:suppressions=$root/tests/support/tsan.supp}
cd "$build"
if [ -n "${CTEST_REGEX:-}" ]; then
  ctest --output-on-failure -j"${JOBS:-2}" -R "$CTEST_REGEX"
else
  ctest --output-on-failure -j"${JOBS:-2}"
fi
