#!/usr/bin/env bash
# The selective query of the index benchmark measured finely: `perf stat -r N` of
# `ledra find --count` from the indexes against `plocate -c` over the same names, the two
# alternating round by round, with the load average of each round. At a few milliseconds a
# query, timing from bash (bench/index.sh) holds a fork and an exec of bash as well; perf
# stat times the program alone.
#
#   bench/selective.sh [--set DIR] [--rounds R] [--runs N] [--ledra PATH] [PATTERN]
#
# DIR is a set of bench/index.sh (default: its 27 M names, set-100), with the indexes and
# the plocate database that index.sh left there. PATTERN defaults to index.sh's selective
# query. Needs perf (Debian's linux-perf).
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
BENCH_DIR=${BENCH_DIR:-/tmp/ledra-bench}
SET=$BENCH_DIR/index-100-270000/set-100
ROUNDS=5
RUNS=40
LEDRA=${BUILD_DIR:-$REPO/build-bench}/ledra
PATTERN=wcscpy

usage() {
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
while [[ $# -gt 0 ]]; do
  case $1 in
    --set) [[ $# -ge 2 ]] || usage; SET=$2; shift 2 ;;
    --rounds) [[ $# -ge 2 ]] || usage; ROUNDS=$2; shift 2 ;;
    --runs) [[ $# -ge 2 ]] || usage; RUNS=$2; shift 2 ;;
    --ledra) [[ $# -ge 2 ]] || usage; LEDRA=$2; shift 2 ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) PATTERN=$1; shift ;;
  esac
done
command -v perf >/dev/null || { echo "perf is missing (apt-get install linux-perf)" >&2; exit 2; }
[[ -f $SET/plocate.db && -d $SET/index ]] || {
  echo "no indexes and plocate database in $SET: run bench/index.sh first" >&2
  exit 2
}
export LEDRA_INDEX_DIR=$SET/index
"$LEDRA" index --in "$SET/cats" >/dev/null  # current, whatever ran since

# Mean elapsed milliseconds of RUNS runs of the command.
elapsed_ms() {
  perf stat -r "$RUNS" "$@" 2>&1 >/dev/null | awk '/seconds time elapsed/ { printf "%.2f", $1 * 1000 }'
}

echo "selective query '$PATTERN' over $SET, $(nproc) cores, $ROUNDS rounds of perf stat -r $RUNS"
echo "counts: ledra $("$LEDRA" find --in "$SET/cats" --count "$PATTERN"), plocate $(plocate -d "$SET/plocate.db" -c -i -b "$PATTERN")"
printf '%-6s %10s %12s %7s  %s\n' round "ledra ms" "plocate ms" ratio "load"
ratios=()
for ((r = 1; r <= ROUNDS; r++)); do
  l=$(elapsed_ms "$LEDRA" find --in "$SET/cats" --count "$PATTERN")
  p=$(elapsed_ms plocate -d "$SET/plocate.db" -c -i -b "$PATTERN")
  ratio=$(awk -v a="$l" -v b="$p" 'BEGIN { printf "%.3f", a / b }')
  ratios+=("$ratio")
  printf '%-6s %10s %12s %7s  %s\n' "$r" "$l" "$p" "$ratio" "$(cut -d' ' -f1-3 /proc/loadavg)"
done
printf 'median ratio %s\n' "$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')"
