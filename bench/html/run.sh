#!/usr/bin/env bash
# Builds bench_html in Release and runs it once (medians of a few
# repetitions, as the machine is shared); then prints how each benchmark grows
# from 10 to 20 and from 20 to 40 MiB. Extra arguments go to the benchmark
# (for example --benchmark_filter=ClearSubStr).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
# GCC 12 at -O3 reports false -Wrestrict hits inside std::string code (GCC
# bug 105329); a measuring build shows them but does not stop on them.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOSS_TESTS=OFF -DMOSS_BENCH=ON >/dev/null
nice cmake --build "$build" -j"${JOBS:-2}" --target bench_html
out="$build/bench_html.csv"
nice "$build/bin/bench_html" --benchmark_repetitions="${REPS:-5}" --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=csv "$@"
echo
echo "growth of the median CPU time when the page doubles (linear: 2.0; goal for Html_ChgImgLink 10 -> 20 MiB: at most 2.2)"
awk -F, '$1 ~ /_median"?$/ {
    n = $1; gsub(/"/, "", n); sub(/_median$/, "", n); split(n, p, "/"); t[p[1], p[2]] = $4; names[p[1]] = 1 }
  END { for (b in names) {
      line = sprintf("  %-18s", b)
      for (m = 5; m <= 20; m *= 2)
        if (t[b, m] > 0 && t[b, 2 * m] > 0) line = line sprintf("  %d->%d MiB: %.2f", m, 2 * m, t[b, 2 * m] / t[b, m])
      print line } }' "$out"
