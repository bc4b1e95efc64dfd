#!/usr/bin/env bash
# Appends volumes one after the other to one SQLite database with `ledra export --format
# sqlite --append` and prints the time and peak memory of each append beside the first,
# which went into a new database: appending should cost the same however large the
# database has grown. The volumes are catalogues of their own (make_catalogs), each with
# other names, so that every append lands all over the name index.
#
#   bench/sqlite_append.sh [--volumes N] [--entries M] [--skip-build]
#
# Environment: BENCH_DIR (default /tmp/ledra-bench) holds the catalogues and the database;
# BUILD_DIR (default <repo>/build-bench) the Release build; LEDRA, when set, the `ledra` to time.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$repo/build-bench}"
BENCH_DIR="${BENCH_DIR:-/tmp/ledra-bench}"
# shellcheck source=bench/timing.sh
. "$repo/bench/timing.sh"
volumes=10
entries=494000
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --volumes) volumes="$2"; shift 2 ;;
    --entries) entries="$2"; shift 2 ;;
    --skip-build) build=0; shift ;;
    *) echo "usage: bench/sqlite_append.sh [--volumes N] [--entries M] [--skip-build]" >&2; exit 2 ;;
  esac
done

[ "$build" = 0 ] || build_bench ledra make_catalogs
ledra="${LEDRA:-$BUILD_DIR/ledra}"
dir="$BENCH_DIR/sqlite-append"
rm -rf "$dir"
mkdir -p "$dir/catalogs"
"$BUILD_DIR/bench/make_catalogs" "$dir/catalogs" "$volumes" "$entries" /dev/null /dev/null
cat "$dir"/catalogs/*.kvl >/dev/null  # warm the cache

report="$BENCH_DIR/sqlite-append-report.txt"
{
  echo "sqlite --append series: $volumes volumes of $entries entries into one database, $(nproc) cores"
  printf '%-8s %10s %10s %14s %12s %8s\n' volume wall_s cpu_s peak_rss_KB db_entries ratio
} >"$report"
db="$dir/disks.sqlite"
first=""
total=0
for ((k = 0; k < volumes; k++)); do
  catalog=$(printf '%s/catalogs/Bench%02d.kvl' "$dir" "$k")
  timed_runs 1 /dev/null "append $((k + 1))" "$ledra" export "$catalog" --format sqlite \
    --append -o "$db"
  [ -n "$first" ] || first=$run_median
  total=$((total + entries))
  printf '%-8s %10s %10s %14s %12s %8s\n' "$((k + 1))" "$run_median" "$run_cpu" "$run_peak" \
    "$total" "$(awk -v a="$run_median" -v b="$first" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }')" \
    >>"$report"
done
echo "database: $(du -h "$db" | cut -f1)" >>"$report"
rm -rf "$dir"
cat "$report"
