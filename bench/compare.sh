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

if [ "$build" = 1 ]; then
  cmake -S "$repo" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_BENCH=ON \
    -DLEDRA_TESTS=OFF >/dev/null
  cmake --build "$BUILD_DIR" -j2 --target ledra catalog_pair >/dev/null
fi
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

# measure NAME COMMAND...: the median and best wall time over the runs, the median CPU time
# (user and system: on a busy machine the wall time is mostly waiting) and the largest peak
# resident set size, as GNU time reports them.
measure() {
  local name="$1"
  shift
  local times=() cpus=() peak=0
  for ((i = 0; i < runs; i++)); do
    rm -f "$dir/out.sqlite"
    /usr/bin/time -f '%e %M %U %S' -o "$dir/time.txt" "$@" >/dev/null 2>"$dir/stderr.txt" || {
      local status=$?
      # 1 is "nothing listed", a valid outcome for a query; anything else is a failure.
      [ "$status" = 1 ] || { echo "$name failed with status $status:" >&2; cat "$dir/stderr.txt" >&2; exit 1; }
    }
    read -r seconds kb user system <"$dir/time.txt"
    times+=("$seconds")
    cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')")
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  local middle=$(((runs + 1) / 2))
  local sorted
  sorted=$(printf '%s\n' "${times[@]}" | sort -n)
  printf '%-28s %10s %10s %10s %14s\n' "$name" "$(echo "$sorted" | sed -n "${middle}p")" \
    "$(echo "$sorted" | head -n 1)" "$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "${middle}p")" \
    "$peak" >>"$report"
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
  /usr/bin/time -f '%e %M' -o "$dir/time.txt" "$ledra" export "$dir/Copy$k.kvl" --format sqlite \
    --append -o "$dir/series.sqlite" >/dev/null 2>"$dir/stderr.txt" ||
    { cat "$dir/stderr.txt" >&2; exit 1; }
  read -r seconds kb <"$dir/time.txt"
  [ -n "$first" ] || first=$seconds
  printf '  volume %2d: %8s s %10s KB peak  (%s x the first)\n' "$k" "$seconds" "$kb" \
    "$(awk -v a="$seconds" -v b="$first" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }')" >>"$report"
  rm -f "$dir/Copy$k.kvl"
done
rm -f "$dir/series.sqlite"

# The rows diff found, by kind, beside what catalog_pair changed.
found=$("$ledra" diff --json "$dir/Old.kvl" "$dir/New.kvl" |
  sed -n 's/^{"change":"\([a-z]*\)".*/\1/p' | sort | uniq -c | awk '{printf "%s=%s ", $2, $1}')
echo "diff found:   $found" >>"$report"
rm -f "$dir"/out.* "$dir/time.txt" "$dir/stderr.txt"
cat "$report"
