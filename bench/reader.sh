#!/usr/bin/env bash
# Ledra reader benchmark: `ledra find SUBSTRING --count` over ten catalogues of a million
# entries each, beside `LC_ALL=C grep -c -F SUBSTRING` over a text file of the same ten
# million names and plocate over a database of their paths, warm cache, in the same run;
# the memory find needs beyond its mapped pages; `ledra volumes` over 1,000 catalogues; and
# `ledra diff` of two catalogues of 100,000 files that all bear one name in few folders.
#
#   bench/reader.sh [--runs N] [--entries M] [--pattern SUBSTRING] [--skip-build]
#   bench/reader.sh --index [--catalogs N] [--per-catalog M] [--runs N] [--skip-build]
#
# With --index, instead: the indexes of `ledra index` over N catalogues (default 100) of M
# entries (default 270,000: 27 million names) whose names and folders are those of /usr and
# /root, against plocate over the same paths; see bench/index.sh.
#
# Environment: BENCH_DIR (default /tmp/ledra-bench) holds the catalogues and outputs;
# BUILD_DIR (default <repo>/build-bench) the Release build.
set -euo pipefail
export LC_ALL=C

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${RUNS:-7}
ENTRIES=${ENTRIES:-1000000}
PATTERN=${PATTERN:-holiday_1234}
BENCH_DIR=${BENCH_DIR:-/tmp/ledra-bench}
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
SKIP_BUILD=${SKIP_BUILD:-0}

usage() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}" >&2
  exit 2
}
while (($# > 0)); do
  case $1 in
    --runs) [[ $# -ge 2 ]] || usage; RUNS=$2; shift 2 ;;
    --entries) [[ $# -ge 2 ]] || usage; ENTRIES=$2; shift 2 ;;
    --pattern) [[ $# -ge 2 ]] || usage; PATTERN=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    --index) shift; exec "$(dirname "${BASH_SOURCE[0]}")/index.sh" "$@" ;;
    *) usage ;;
  esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "reader.sh: --runs needs a whole number above 0" >&2; exit 2; }
[[ $ENTRIES =~ ^[1-9][0-9]*$ ]] || { echo "reader.sh: --entries needs a whole number" >&2; exit 2; }
command -v plocate >/dev/null || { echo "reader.sh: plocate is missing (tools/install-deps.sh)" >&2; exit 1; }

now() { printf '%s\n' "$EPOCHREALTIME"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
minimum() { sort -n | head -1; }

if [[ $SKIP_BUILD != 1 ]]; then
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_BENCH=ON \
    -DLEDRA_TESTS=OFF >/dev/null
  cmake --build "$BUILD_DIR" --target ledra make_catalogs catalog_pair -- -j2 >/dev/null
fi
LEDRA=$BUILD_DIR/ledra
MAKE=$BUILD_DIR/bench/make_catalogs
PAIR=$BUILD_DIR/bench/catalog_pair

data=$BENCH_DIR/reader-$ENTRIES
if [[ ! -f $data/done ]]; then
  echo "generating 10 catalogues of $ENTRIES entries in $data ..."
  rm -rf "$data"
  mkdir -p "$data/cats" "$data/many"
  "$MAKE" "$data/cats" 10 "$ENTRIES" "$data/names.txt" "$data/paths.txt"
  # The paths name no real files: plocate must not check that the user can see them.
  plocate-build -l no -p "$data/paths.txt" "$data/plocate.db"
  "$MAKE" "$data/many" 1000 1000 /dev/null /dev/null
  # Bench000 ... Bench999: the generator names them by a two-digit number, so give each
  # catalogue a file name of its own.
  i=0
  for f in "$data/many"/*.kvl; do mv "$f" "$data/many/Vol$(printf %04d $i).kvl"; i=$((i + 1)); done
  touch "$data/done"
fi
cat "$data"/cats/*.kvl "$data/names.txt" "$data/plocate.db" "$data"/many/*.kvl >/dev/null

# One timed command, its output kept aside; prints its wall seconds and appends its CPU
# seconds (user + system, all threads) to the file $cpu_log. On a machine shared with other
# work, CPU time says more than wall time, which waits for a free core.
cpu_log=$(mktemp)
trap 'rm -f "$cpu_log" "$cpu_log.out"' EXIT
timed() {
  local start end
  start=$(now)
  # Into a file, not /dev/null: GNU grep stops at the first match when its output is
  # /dev/null, as if given -q.
  /usr/bin/time -f '%U %S' -o "$cpu_log.one" "$@" >"$cpu_log.out"
  end=$(now)
  awk '{ printf "%.3f\n", $1 + $2 }' "$cpu_log.one" >>"$cpu_log"
  rm -f "$cpu_log.one"
  elapsed "$start" "$end"
}

ledra_count=$("$LEDRA" find --in "$data/cats" "$PATTERN" --count)
grep_count=$(grep -c -F "$PATTERN" "$data/names.txt" || true)
plocate_count=$(plocate -d "$data/plocate.db" -c "$PATTERN" || true)
ledra_times=() grep_times=() plocate_times=() ratios=()
ledra_cpu=() grep_cpu=() plocate_cpu=()
for ((r = 0; r < RUNS; r++)); do
  : >"$cpu_log"
  l=$(timed "$LEDRA" find --in "$data/cats" "$PATTERN" --count)
  g=$(timed grep -c -F "$PATTERN" "$data/names.txt")
  p=$(timed plocate -d "$data/plocate.db" -c "$PATTERN")
  mapfile -t cpu <"$cpu_log"
  ledra_times+=("$l") grep_times+=("$g") plocate_times+=("$p")
  ledra_cpu+=("${cpu[0]}") grep_cpu+=("${cpu[1]}") plocate_cpu+=("${cpu[2]}")
  ratios+=("$(awk -v a="$l" -v b="$g" 'BEGIN { printf "%.2f", a / b }')")
done

# Memory beyond the mapped pages: the peak of anonymous memory (RssAnon) while find writes
# every one of ten million full paths, sampled every few milliseconds.
peak_anon() {
  "$@" >/dev/null &
  local pid=$! peak=0 kb
  while kb=$(awk '/^RssAnon:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) && [[ -n $kb ]]; do
    ((kb > peak)) && peak=$kb
    sleep 0.005
  done
  wait "$pid" || true
  echo "$peak"
}
anon_paths=$(peak_anon "$LEDRA" find --in "$data/cats" --json)
anon_count=$(peak_anon "$LEDRA" find --in "$data/cats" --path "$PATTERN" --count)

volume_times=()
for ((r = 0; r < RUNS; r++)); do volume_times+=("$(timed "$LEDRA" volumes --in "$data/many")"); done
volume_rows=$("$LEDRA" volumes --in "$data/many" --json | wc -l)

# Entries of one path: each must be paired with the next one of the older catalogue in one
# step, not after a walk past those paired before.
same=$BENCH_DIR/one-name
if [[ ! -f $same/done ]]; then
  rm -rf "$same" && mkdir -p "$same"
  "$PAIR" "$same/old.kvl" "$same/new.kvl" --entries 100000 --one-name >/dev/null
  touch "$same/done"
fi
diff_times=()
for ((r = 0; r < RUNS; r++)); do
  diff_times+=("$(timed "$LEDRA" diff --csv "$same/old.kvl" "$same/new.kvl")")
done
diff_rows=$("$LEDRA" diff --csv "$same/old.kvl" "$same/new.kvl" | wc -l)

report=$BENCH_DIR/reader-report-$ENTRIES.txt
{
  echo "ledra reader benchmark, $(date -u +%Y-%m-%dT%H:%M:%SZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "10 catalogues x $ENTRIES entries ($(du -sh "$data/cats" | cut -f1)), pattern '$PATTERN', $RUNS rounds, warm cache"
  echo "matches: ledra $ledra_count, grep $grep_count (names), plocate $plocate_count (paths)"
  row() {
    local -n wall=$2 cpu=$3
    printf '%-20s wall median %ss  min %ss   CPU median %ss  min %ss\n' "$1" \
      "$(printf '%s\n' "${wall[@]}" | median)" "$(printf '%s\n' "${wall[@]}" | minimum)" \
      "$(printf '%s\n' "${cpu[@]}" | median)" "$(printf '%s\n' "${cpu[@]}" | minimum)"
  }
  row "ledra find --count" ledra_times ledra_cpu
  row "grep -c -F" grep_times grep_cpu
  row "plocate -c" plocate_times plocate_cpu
  printf 'ratio ledra/grep per round: %s; median %s\n' "${ratios[*]}" "$(printf '%s\n' "${ratios[@]}" | median)"
  echo "peak anonymous memory: find --json of every entry $((anon_paths / 1024)) MiB; find --path --count $((anon_count / 1024)) MiB"
  printf 'ledra volumes over %s catalogues: median %ss\n' "$volume_rows" "$(printf '%s\n' "${volume_times[@]}" | median)"
  printf 'ledra diff of 100,000 files named alike: %s rows, median %ss\n' "$diff_rows" "$(printf '%s\n' "${diff_times[@]}" | median)"
} | tee "$report"
echo "saved in $report"
