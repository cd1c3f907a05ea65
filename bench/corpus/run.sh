#!/usr/bin/env bash
# For each page of tests/data/corpus: the pictures a user sees, how many of
# them (in their largest form) the collector of the <img> src alone finds and
# how many the picture editor's collection finds. The pages are opened in
# Debian's Chromium with the extension (scripts/e2e-setup.sh installs what
# that needs); nothing leaves 127.0.0.1.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOSS_TESTS=OFF -DMOSS_BENCH=ON >/dev/null
nice cmake --build "$build" -j"${JOBS:-2}" --target corpus_report >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/moss-corpus-XXXXXX")
trap 'rm -rf "$work"' EXIT
base=$(cd "$root/tests/e2e" && node "$root/bench/corpus/snapshots.mjs" "$work")
"$build/bin/corpus_report" "$root/tests/data/corpus/corpus.json" "$work" "$base"
