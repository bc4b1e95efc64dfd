#!/usr/bin/env bash
# Times `ledra dupes`, `ledra unique` and `ledra diff`, in text and in JSON, on two
# catalogues of the same tree of N entries (default 2,000,000), written by bench/catalog_pair
# before and after known changes, the newer one as another disk's (a backup beside its
# original). Prints the median wall time, CPU time and the largest peak resident set size of
# each command, as GNU time reports them, and saves the report as
# $BENCH_DIR/analyses-report.txt.
#
#   bench/analyses.sh [--entries N] [--runs R] [--skip-build] [--before LEDRA] [--unrelated M]
#
# With --before, another build of `ledra` (an earlier commit's, say) is timed beside this
# one on the same catalogues, and each output of the two is compared byte for byte.
# With --unrelated M, `ledra diff` is also timed, in text and in JSON, on two catalogues of M
# entries each that have nothing in common (bench/make_catalogs): every entry of both is a
# row, the largest block of columns text can be asked to align.
#
# Environment: BENCH_DIR (default /tmp/ledra-bench) holds the catalogues and outputs;
# BUILD_DIR (default <repo>/build-bench) the Release build.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$repo/build-bench}"
BENCH_DIR="${BENCH_DIR:-/tmp/ledra-bench}"
# shellcheck source=bench/timing.sh
. "$repo/bench/timing.sh"
entries=2000000
runs=3
build=1
before=""
unrelated=0
while [ $# -gt 0 ]; do
  case "$1" in
    --entries) entries="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --skip-build) build=0; shift ;;
    --before) before="$2"; shift 2 ;;
    --unrelated) unrelated="$2"; shift 2 ;;
    *) echo "usage: bench/analyses.sh [--entries N] [--runs R] [--skip-build] [--before LEDRA]" \
         "[--unrelated M]" >&2
       exit 2 ;;
  esac
done

[ "$build" = 0 ] || build_bench ledra catalog_pair make_catalogs
ledra="$BUILD_DIR/ledra"
dir="$BENCH_DIR/analyses"
rm -rf "$dir"
mkdir -p "$dir/cats"
changes=$("$BUILD_DIR/bench/catalog_pair" "$dir/cats/Old.kvl" "$dir/cats/New.kvl" \
  --entries "$entries" --other-volume | tail -n 1)
if [ "$unrelated" != 0 ]; then
  mkdir -p "$dir/unrelated"
  "$BUILD_DIR/bench/make_catalogs" "$dir/unrelated" 2 "$unrelated" /dev/null /dev/null >/dev/null
fi
cat "$dir"/cats/*.kvl >/dev/null  # warm the cache

report="$BENCH_DIR/analyses-report.txt"
{
  echo "ledra dupes, unique and diff: two catalogues of $entries entries ($(du -h "$dir/cats/Old.kvl" | cut -f1) each), $runs runs, $(nproc) cores"
  echo "changes made: $changes"
  [ "$unrelated" = 0 ] || echo "unrelated: two catalogues of $unrelated entries with nothing in common"
  printf '%-10s %-22s %10s %10s %14s %12s\n' build command median_s cpu_s peak_rss_KB output_B
} >"$report"

# measure BUILD NAME LEDRA ARGS...: the median wall time and CPU time over the runs and the
# largest peak resident set size (timing.sh); the output is kept as $dir/BUILD-NAME.out.
measure() {
  local build="$1" name="$2"
  shift 2
  local out="$dir/$build-${name// /_}.out"
  timed_runs "$runs" "$out" "$build $name" "$@"
  printf '%-10s %-22s %10s %10s %14s %12s\n' "$build" "$name" "$run_median" "$run_cpu" \
    "$run_peak" "$(wc -c <"$out")" >>"$report"
}

commands=("dupes|dupes --in $dir/cats"
  "dupes --json|dupes --json --in $dir/cats"
  "unique|unique --in $dir/cats BACKUP"
  "unique --json|unique --json --in $dir/cats BACKUP"
  "diff|diff $dir/cats/Old.kvl $dir/cats/New.kvl"
  "diff --json|diff --json $dir/cats/Old.kvl $dir/cats/New.kvl")
if [ "$unrelated" != 0 ]; then
  cat "$dir"/unrelated/*.kvl >/dev/null
  commands+=("diff unrelated|diff $dir/unrelated/Bench00.kvl $dir/unrelated/Bench01.kvl"
    "diff unrelated --json|diff --json $dir/unrelated/Bench00.kvl $dir/unrelated/Bench01.kvl")
fi
builds=("this|$ledra")
[ -n "$before" ] && builds=("before|$before" "${builds[@]}")
for entry in "${commands[@]}"; do
  name="${entry%%|*}"
  read -r -a args <<<"${entry#*|}"
  for b in "${builds[@]}"; do
    measure "${b%%|*}" "$name" "${b#*|}" "${args[@]}"
  done
  if [ -n "$before" ]; then
    if cmp -s "$dir/before-${name// /_}.out" "$dir/this-${name// /_}.out"; then
      echo "  $name: the outputs of both builds are the same" >>"$report"
    else
      echo "  $name: THE OUTPUTS DIFFER" >>"$report"
    fi
  fi
done
rm -f "$dir"/*.out
cat "$report"
