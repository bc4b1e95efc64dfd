#!/usr/bin/env bash
# Times `ledra diff` and `ledra export` on two catalogues of a million entries each, written
# by bench/catalog_pair before and after known changes, and checks that diff finds exactly
# those changes. Prints a report (median wall time and peak memory per command) and saves it
# as $BENCH_DIR/compare-report.txt. See bench/README.md.
#
#   bench/compare.sh [--entries N] [--runs R] [--skip-build]
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$repo/build-bench}"
BENCH_DIR="${BENCH_DIR:-/tmp/ledra-bench}"
# shellcheck source=bench/timing.sh
. "$repo/bench/timing.sh"
entries=1000000
runs=3
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --entries) entries="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --skip-build) build=0; shift ;;
    *) echo "usage: bench/compare.sh [--entries N] [--runs R] [--skip-build]" >&2; exit 2 ;;
  esac
done

[ "$build" = 0 ] || build_bench ledra catalog_pair
ledra="$BUILD_DIR/ledra"
dir="$BENCH_DIR/compare"
rm -rf "$dir"
mkdir -p "$dir"
changes=$("$BUILD_DIR/bench/catalog_pair" "$dir/Old.kvl" "$dir/New.kvl" --entries "$entries" | tail -n 1)
cat "$dir/Old.kvl" "$dir/New.kvl" >/dev/null  # warm the cache

report="$BENCH_DIR/compare-report.txt"
{
  echo "ledra diff and export: $entries entries per catalogue, $runs runs, $(nproc) cores"
  echo "changes made: $changes"
  printf '%-28s %10s %10s %10s %14s\n' command median_s best_s cpu_s peak_rss_KB
} >"$report"

# measure NAME COMMAND...: the median and best wall time over the runs, the median CPU
# time and the largest peak resident set size (timing.sh).
measure() {
  local name="$1"
  shift
  run_fresh="$dir/out.sqlite" timed_runs "$runs" /dev/null "$name" "$@"
  printf '%-28s %10s %10s %10s %14s\n' "$name" "$run_median" "$run_best" "$run_cpu" "$run_peak" \
    >>"$report"
}

measure "diff (text)" "$ledra" diff "$dir/Old.kvl" "$dir/New.kvl"
measure "diff --json" "$ledra" diff --json "$dir/Old.kvl" "$dir/New.kvl"
measure "export --format csv" "$ledra" export "$dir/New.kvl" --format csv -o "$dir/out.csv"
measure "export --format jsonl" "$ledra" export "$dir/New.kvl" --format jsonl -o "$dir/out.jsonl"
measure "export --format ncdu" "$ledra" export "$dir/New.kvl" --format ncdu -o "$dir/out.ncdu"
measure "export --format sqlite" "$ledra" export "$dir/New.kvl" --format sqlite -o "$dir/out.sqlite"
measure "dupes (both catalogues)" "$ledra" dupes --in "$dir"
if command -v ncdu >/dev/null; then
  measure "ncdu -f (reads the export)" ncdu -f "$dir/out.ncdu" -o /dev/null
fi

# Appending volumes to one SQLite database, one after the other: each is a copy of New.kvl
# under a file name of its own (a volume of its own to the database). The time of each
# append beside the first shows whether appending slows down as the database grows.
appends=${SQLITE_APPENDS:-6}
rm -f "$dir/series.sqlite"
echo "sqlite --append series ($appends volumes of $entries entries into one database):" >>"$report"
first=""
for ((k = 1; k <= appends; k++)); do
  cp "$dir/New.kvl" "$dir/Copy$k.kvl"
  timed_runs 1 /dev/null "append $k" "$ledra" export "$dir/Copy$k.kvl" --format sqlite \
    --append -o "$dir/series.sqlite"
  [ -n "$first" ] || first=$run_median
  printf '  volume %2d: %8s s %10s KB peak  (%s x the first)\n' "$k" "$run_median" "$run_peak" \
    "$(awk -v a="$run_median" -v b="$first" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }')" \
    >>"$report"
  rm -f "$dir/Copy$k.kvl"
done
rm -f "$dir/series.sqlite"

# The rows diff found, by kind, beside what catalog_pair changed.
found=$("$ledra" diff --json "$dir/Old.kvl" "$dir/New.kvl" |
  sed -n 's/^{"change":"\([a-z]*\)".*/\1/p' | sort | uniq -c | awk '{printf "%s=%s ", $2, $1}')
echo "diff found:   $found" >>"$report"
rm -f "$dir"/out.*
cat "$report"
