#!/usr/bin/env bash
# Fails when a C++ file differs from the checked-in .clang-format style.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
bad=0
for f in $files; do
  if ! diff -q <(clang-format "$f") "$f" >/dev/null; then echo "needs clang-format: $f"; bad=1; fi
done
exit $bad
