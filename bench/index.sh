#!/usr/bin/env bash
# The index benchmark (bench/reader.sh --index): `ledra find --count` answered from the
# indexes of `ledra index` against `plocate -c` over the same names, and against the scan
# (`--no-index`), at three sizes of the collection; `ledra index` against `plocate-build`;
# a refresh after one catalogue is replaced; peak memory. Warm cache, ledra and plocate
# alternating (the scan timed apart), medians over the rounds.
#
#   bench/index.sh [--catalogs N] [--per-catalog M] [--runs N] [--skip-build]
#
# The catalogues hold the names and folder shapes of /usr and /root on this machine (from
# bench/real_catalogs), each catalogue M of them under /media/diskNNN; plocate's database
# holds the same full paths. Names are matched without regard to case by both (plocate -i
# -b: the last component only, as find matches names).
#
# Environment: BENCH_DIR (default /tmp/ledra-bench), BUILD_DIR (default <repo>/build-bench).
set -euo pipefail
# Every command runs in a UTF-8 locale, as a user's shell does: the names are UTF-8, and
# plocate folds case for -i by the locale (in the C locale it folds ASCII letters alone,
# and answers the selective query over 27 M names about a millisecond sooner). ledra's
# matching does not depend on the locale. What this script prints reads the same in both.
export LC_ALL=C.UTF-8

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RUNS=${RUNS:-7}
CATALOGS=${CATALOGS:-100}
PER=${PER:-270000}
BENCH_DIR=${BENCH_DIR:-/tmp/ledra-bench}
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
SKIP_BUILD=${SKIP_BUILD:-0}
# Substring with about 100 matches in 27 M names, one with about 100,000, a wildcard and a
# regular expression with a literal; each with plocate's own form of it.
SELECTIVE=${SELECTIVE:-wcscpy}
MEDIUM=${MEDIUM:-copyright}
WILDCARD=${WILDCARD:-'*config*.h'}
REGEX=${REGEX:-'^lib.*\.so\.[0-9]+$'}

usage() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}" >&2
  exit 2
}
while (($# > 0)); do
  case $1 in
    --runs) [[ $# -ge 2 ]] || usage; RUNS=$2; shift 2 ;;
    --catalogs) [[ $# -ge 2 ]] || usage; CATALOGS=$2; shift 2 ;;
    --per-catalog) [[ $# -ge 2 ]] || usage; PER=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    *) usage ;;
  esac
done
command -v plocate-build >/dev/null || { echo "index.sh: plocate is missing" >&2; exit 1; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Wall seconds of one command, its output thrown away. The clock is read in this shell,
# not in a subshell of its own, so that the time holds the command's fork and exec and no
# fork of bash besides.
timed() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }'
}
# Peak resident memory in KiB.
peak_kib() {
  local out
  out=$(mktemp)
  /usr/bin/time -f '%M' -o "$out" "$@" >/dev/null 2>&1 || true
  tail -1 "$out"
  rm -f "$out"
}

if [[ $SKIP_BUILD != 1 ]]; then
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_BENCH=ON \
    -DLEDRA_TESTS=OFF >/dev/null
  cmake --build "$BUILD_DIR" --target ledra real_catalogs -- -j2 >/dev/null
fi
LEDRA=$BUILD_DIR/ledra
REAL=$BUILD_DIR/bench/real_catalogs

data=$BENCH_DIR/index-$CATALOGS-$PER
if [[ ! -f $data/done ]]; then
  echo "generating $CATALOGS catalogues of $PER entries in $data ..."
  rm -rf "$data" && mkdir -p "$data/all"
  (cd / && find usr root -xdev -mindepth 1 \( -type d -printf '%p/\n' -o -printf '%p\n' \) \
    2>/dev/null | grep -v $'[\t\r]' >"$data/tree.txt") || true
  "$REAL" "$data/tree.txt" "$data/all" 0 "$CATALOGS" "$PER" "$data/paths.txt"
  touch "$data/done"
fi

# The sizes: about 1 M, 10 M and all of the names, each a folder of hard links to the first
# catalogues (plain files, as LedraCmd leaves them: a symbolic link would cost each open a
# second walk of a path), with a plocate database of the same paths.
sizes=()
for want in 1000000 10000000 $((CATALOGS * PER)); do
  n=$(((want + PER - 1) / PER))
  ((n > CATALOGS)) && n=$CATALOGS
  [[ " ${sizes[*]} " == *" $n "* ]] && continue
  sizes+=("$n")
  set_dir=$data/set-$n
  if [[ ! -f $set_dir/done || -L $set_dir/cats/Real000.kvl ]]; then
    rm -rf "$set_dir" && mkdir -p "$set_dir/cats"
    for ((c = 0; c < n; c++)); do
      cat_file=$data/all/Real$(printf %03d $c).kvl
      ln "$cat_file" "$set_dir/cats/" 2>/dev/null || ln -s "$cat_file" "$set_dir/cats/"
    done
    head -n $((n * PER)) "$data/paths.txt" >"$set_dir/paths.txt"
    touch "$set_dir/done"
  fi
done

report=$BENCH_DIR/index-report-$CATALOGS-$PER.txt
{
  echo "ledra index benchmark, $(date -u +%Y-%m-%dT%H:%M:%SZ), $(nproc) cores, load at start $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "names of /usr and /root ($(wc -l <"$data/tree.txt") paths), $PER entries a catalogue, $RUNS rounds, warm cache"
} | tee "$report"

for n in "${sizes[@]}"; do
  set_dir=$data/set-$n
  names=$((n * PER))
  export LEDRA_INDEX_DIR=$set_dir/index
  rm -rf "$LEDRA_INDEX_DIR" "$set_dir/plocate.db"
  # Building, cold for both: plocate-build from the list of paths, ledra index from the
  # catalogues.
  cat "$set_dir"/cats/*.kvl "$set_dir/paths.txt" >/dev/null
  build_plocate=$(timed plocate-build -l no -p "$set_dir/paths.txt" "$set_dir/plocate.db")
  build_ledra=$(timed "$LEDRA" index --in "$set_dir/cats")
  db_bytes=$(stat -c %s "$set_dir/plocate.db")
  index_bytes=$(du -sb "$LEDRA_INDEX_DIR" | cut -f1)
  cat "$set_dir"/cats/*.kvl "$LEDRA_INDEX_DIR"/* "$set_dir/plocate.db" >/dev/null
  # The files just built are written out before the queries are timed, not while they run.
  sync
  {
    echo
    echo "== $n catalogues, $names names =="
    printf 'build: ledra index %ss, plocate-build %ss (ratio %s); index %s MB, plocate.db %s MB (ratio %s)\n' \
      "$build_ledra" "$build_plocate" "$(awk -v a="$build_ledra" -v b="$build_plocate" 'BEGIN { printf "%.2f", a / b }')" \
      "$((index_bytes / 1000000))" "$((db_bytes / 1000000))" "$(awk -v a="$index_bytes" -v b="$db_bytes" 'BEGIN { printf "%.2f", a / b }')"
    printf '%-28s %8s %8s %8s %9s %9s %9s %7s %7s\n' query ledra plocate scan "n ledra" "n plocate" "n scan" "l/p" "l/scan"
  } | tee -a "$report"
  queries=(selective medium wildcard regex)
  for q in "${queries[@]}"; do
    case $q in
      selective) L=("$SELECTIVE") P=(-i -b "$SELECTIVE") ;;
      medium) L=("$MEDIUM") P=(-i -b "$MEDIUM") ;;
      wildcard) L=("$WILDCARD") P=(-i -b "$WILDCARD") ;;
      regex) L=(--regex "$REGEX") P=(-i -b --regex "$REGEX") ;;
    esac
    li=() pl=() sc=()
    # One run of each, untimed, brings the pages it reads into the cache: a kernel may
    # page out what sat unread for a while (this machine's does after about a minute,
    # DAMON's pageout scheme), and a page read back from the disk costs more than a query.
    timed "$LEDRA" find --in "$set_dir/cats" --count "${L[@]}" >/dev/null
    timed plocate -d "$set_dir/plocate.db" -c "${P[@]}" >/dev/null
    # ledra and plocate alternate, the first of each round turning; the scan is timed
    # apart, after them: whatever runs right after it finds the processor's caches filled
    # with the 0.9 GB it read, which costs a search of a hundred files more than a lookup
    # in one database.
    for ((r = 0; r < RUNS; r++)); do
      if ((r % 2 == 0)); then
        li+=("$(timed "$LEDRA" find --in "$set_dir/cats" --count "${L[@]}")")
        pl+=("$(timed plocate -d "$set_dir/plocate.db" -c "${P[@]}")")
      else
        pl+=("$(timed plocate -d "$set_dir/plocate.db" -c "${P[@]}")")
        li+=("$(timed "$LEDRA" find --in "$set_dir/cats" --count "${L[@]}")")
      fi
    done
    timed "$LEDRA" find --in "$set_dir/cats" --count --no-index "${L[@]}" >/dev/null
    for ((r = 0; r < RUNS; r++)); do
      sc+=("$(timed "$LEDRA" find --in "$set_dir/cats" --count --no-index "${L[@]}")")
    done
    ml=$(printf '%s\n' "${li[@]}" | median) mp=$(printf '%s\n' "${pl[@]}" | median)
    ms=$(printf '%s\n' "${sc[@]}" | median)
    printf '%-28s %8s %8s %8s %9s %9s %9s %7s %7s\n' "$q ${L[*]}" "$ml" "$mp" "$ms" \
      "$("$LEDRA" find --in "$set_dir/cats" --count "${L[@]}")" \
      "$(plocate -d "$set_dir/plocate.db" -c "${P[@]}")" \
      "$("$LEDRA" find --in "$set_dir/cats" --count --no-index "${L[@]}")" \
      "$(awk -v a="$ml" -v b="$mp" 'BEGIN { printf "%.2f", a / b }')" \
      "$(awk -v a="$ml" -v b="$ms" 'BEGIN { printf "%.2f", a / b }')" | tee -a "$report"
  done
  {
    printf 'peak memory: find from the index (medium query) %s KiB, ledra index (all, rebuilt) %s KiB, plocate -c %s KiB\n' \
      "$(peak_kib "$LEDRA" find --in "$set_dir/cats" --count "$MEDIUM")" \
      "$(rm -rf "$LEDRA_INDEX_DIR"; peak_kib "$LEDRA" index --in "$set_dir/cats")" \
      "$(peak_kib plocate -d "$set_dir/plocate.db" -c -i -b "$MEDIUM")"
    # LedraCmd replaces a catalogue by renaming a new file over it: only that one is
    # indexed again.
    cp "$set_dir/cats/Real000.kvl" "$set_dir/cats/Real000.kvl.new" &&
      mv "$set_dir/cats/Real000.kvl.new" "$set_dir/cats/Real000.kvl"
    one=$(timed "$LEDRA" index --in "$set_dir/cats")
    none=$(timed "$LEDRA" index --in "$set_dir/cats")
    printf 'refresh after one catalogue was replaced: %ss (nothing to do: %ss)\n' "$one" "$none"
    echo "load at the end $(cut -d' ' -f1-3 /proc/loadavg)"
  } | tee -a "$report"
done
echo "saved in $report"
