#!/usr/bin/env bash
# Installs what is needed, builds and runs the whole test suite.
#   BUILD_DIR=build-asan SANITIZE=address,undefined scripts/test.sh   (sanitizer pass)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${BUILD_DIR:-$root/build}
sanitize=${SANITIZE:-}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DMOSS_SANITIZE="$sanitize" >/dev/null
cmake --build "$build" -j"${JOBS:-2}"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-ignore_noninstrumented_modules=1:halt_on_error=1}
cd "$build"
ctest --output-on-failure -j"${JOBS:-2}" ${CTEST_ARGS:-}
