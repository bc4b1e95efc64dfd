#!/usr/bin/env bash
# Text output of `ledra find` (every entry: its path, size and local time) from the build
# in this tree beside an earlier build, in the same run: the figure for formatting times
# with the time zone read once rather than looked up for every line. The earlier build is
# also timed with TZ=:/etc/localtime, which spares its C library the look-up, as a check
# that the time zone is what the difference is made of. Both outputs must be equal.
#
#   bench/time_zone.sh [--runs N] [--entries M] [--skip-build] EARLIER_REVISION
#
# EARLIER_REVISION (a commit before the change) is exported with `git archive` and built
# in Release beside this tree's Release build. Environment: BENCH_DIR (default
# /tmp/ledra-bench), BUILD_DIR (default <repo>/build-bench) and EARLIER_BUILD_DIR (default
# <repo>/build-bench-earlier).
set -euo pipefail
export LC_ALL=C

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${RUNS:-7}
ENTRIES=${ENTRIES:-1000000}
BENCH_DIR=${BENCH_DIR:-/tmp/ledra-bench}
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
EARLIER_BUILD_DIR=${EARLIER_BUILD_DIR:-$REPO/build-bench-earlier}
SKIP_BUILD=${SKIP_BUILD:-0}
usage() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}" >&2
  exit 2
}
while (($# > 1)); do
  case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --entries) ENTRIES=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    *) usage ;;
  esac
done
(($# == 1)) || usage
EARLIER=$1

now() { printf '%s\n' "$EPOCHREALTIME"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

if [[ $SKIP_BUILD != 1 ]]; then
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_BENCH=ON \
    -DLEDRA_TESTS=OFF >/dev/null
  cmake --build "$BUILD_DIR" --target ledra make_catalogs -- -j2 >/dev/null
  source=$(mktemp -d)
  trap 'rm -rf "$source"' EXIT
  git -C "$REPO" archive "$EARLIER" | tar -x -C "$source"
  cmake -S "$source" -B "$EARLIER_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLEDRA_TESTS=OFF >/dev/null
  cmake --build "$EARLIER_BUILD_DIR" --target ledra -- -j2 >/dev/null
fi

data=$BENCH_DIR/time-zone-$ENTRIES
if [[ ! -f $data/done ]]; then
  rm -rf "$data"
  mkdir -p "$data/cats"
  "$BUILD_DIR/bench/make_catalogs" "$data/cats" 1 "$ENTRIES" "$data/names.txt" "$data/paths.txt"
  touch "$data/done"
fi

# time_find BINARY [ENV...]: seconds for the text of every entry, into a file.
time_find() {
  local binary=$1 out=$2
  shift 2
  local t0 t1
  t0=$(now)
  env "$@" "$binary" find --in "$data/cats" >"$out"
  t1=$(now)
  elapsed "$t0" "$t1"
}

unset TZ
new=() old=() oldTz=() ratios=()
time_find "$BUILD_DIR/ledra" "$data/new.txt" >/dev/null  # warm the cache
for ((i = 0; i < RUNS; i++)); do
  n=$(time_find "$BUILD_DIR/ledra" "$data/new.txt")
  o=$(time_find "$EARLIER_BUILD_DIR/ledra" "$data/old.txt")
  z=$(time_find "$EARLIER_BUILD_DIR/ledra" "$data/old-tz.txt" TZ=:/etc/localtime)
  new+=("$n") old+=("$o") oldTz+=("$z")
  ratios+=("$(awk -v a="$o" -v b="$n" 'BEGIN { printf "%.2f", a / b }')")
done
# The earlier build marks no folders: compare with the marks taken off.
sed 's|/\t|\t|' "$data/new.txt" >"$data/new-unmarked.txt"
same=yes
cmp -s "$data/new-unmarked.txt" "$data/old.txt" && cmp -s "$data/old.txt" "$data/old-tz.txt" || same=no
lines=$(wc -l <"$data/new.txt")
echo "ledra find text output of $lines entries, $RUNS rounds, warm cache, $(nproc) cores," \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "earlier build: $EARLIER ($(git -C "$REPO" rev-parse --short "$EARLIER"))"
printf 'this build (zone read once)        median %ss\n' "$(printf '%s\n' "${new[@]}" | median)"
printf 'earlier build                      median %ss\n' "$(printf '%s\n' "${old[@]}" | median)"
printf 'earlier build, TZ=:/etc/localtime  median %ss\n' "$(printf '%s\n' "${oldTz[@]}" | median)"
printf 'ratio earlier/this per round: %s; median %s\n' "${ratios[*]}" \
  "$(printf '%s\n' "${ratios[@]}" | median)"
echo "outputs equal (folder marks aside): $same"
