#!/usr/bin/env bash
# Ledra benchmark: how long LedraCmd takes to catalogue a large tree, and how much memory it
# needs, beside du, find and ncdu walking the same tree; then how fast the catalogue writer
# writes beside dd writing as many bytes. See bench/README.md.
#
#   bench/run.sh [--scale S] [--runs N] [--skip-build] [--no-write] [--beyond]
#
# --beyond times a second tree as well, of scale BEYOND_SCALE (default 1.4: 70,000 folders),
# more folders than a version-5 catalogue numbers, so that LedraCmd writes version 6.
#
# Environment: BENCH_DIR (default /tmp/ledra-bench) holds the tree and the outputs;
# BUILD_DIR (default <repo>/build-bench) the Release build; WRITE_ENTRIES (default 1000000)
# the size of the writer's catalogue. LEDRA_CMD and WRITE_BENCH name programs to use in
# place of the ones built here (to try the script with stand-ins).
set -euo pipefail
export LC_ALL=C

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SCALE=${SCALE:-1}
RUNS=${RUNS:-5}
BENCH_DIR=${BENCH_DIR:-/tmp/ledra-bench}
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
WRITE_ENTRIES=${WRITE_ENTRIES:-1000000}
SKIP_BUILD=${SKIP_BUILD:-0}
WRITE_SECTION=1
BEYOND=0
BEYOND_SCALE=${BEYOND_SCALE:-1.4}

usage() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "${BASH_SOURCE[0]}" >&2
  exit 2
}

while (($# > 0)); do
  case $1 in
    --scale) [[ $# -ge 2 ]] || usage; SCALE=$2; shift 2 ;;
    --runs) [[ $# -ge 2 ]] || usage; RUNS=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    --no-write) WRITE_SECTION=0; shift ;;
    --beyond) BEYOND=1; shift ;;
    *) usage ;;
  esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: --runs needs a whole number above 0" >&2; exit 2; }
[[ $SCALE =~ ^[0-9]*\.?[0-9]+$ ]] || { echo "run.sh: --scale needs a number such as 0.05" >&2; exit 2; }
[[ -n $BENCH_DIR && $BENCH_DIR != / ]] || { echo "run.sh: BENCH_DIR must name a folder" >&2; exit 2; }

say() { printf '%s\n' "$*"; }
die() { printf 'run.sh: %s\n' "$*" >&2; exit 1; }

# Seconds since 1970 with microseconds, without starting a process when bash can tell.
now() {
  if [[ -n ${EPOCHREALTIME:-} ]]; then printf '%s\n' "$EPOCHREALTIME"; else date +%s.%N; fi
}

# --- Tools ---------------------------------------------------------------------------------

install_package() {  # Debian package, for a tool that is missing
  if ((EUID == 0)) && command -v apt-get >/dev/null; then
    say "Installing $1 with apt-get ..."
    apt-get install -y -qq "$1" >/dev/null 2>&1 ||
      { apt-get update -qq >/dev/null 2>&1 && apt-get install -y -qq "$1" >/dev/null 2>&1; } ||
      true
  fi
}

[[ -x /usr/bin/time ]] || install_package time
[[ -x /usr/bin/time ]] || die "GNU time (/usr/bin/time) is needed for the memory figures: apt-get install time"
command -v ncdu >/dev/null || install_package ncdu
HAVE_NCDU=0
command -v ncdu >/dev/null && HAVE_NCDU=1

# --- Build ---------------------------------------------------------------------------------

LOG_DIR=$BUILD_DIR/bench-logs
mkdir -p "$LOG_DIR"
if ((SKIP_BUILD == 0)); then
  say "Building (Release) in $BUILD_DIR ..."
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_TESTS=OFF \
      -DLEDRA_BENCH=ON >"$LOG_DIR/configure.log" 2>&1 ||
    die "cmake could not configure $REPO; see $LOG_DIR/configure.log"
  cmake --build "$BUILD_DIR" --target LedraCmd make_tree write_bench >"$LOG_DIR/build.log" 2>&1 ||
    die "the programs do not build; see $LOG_DIR/build.log"
fi
: "${LEDRA_CMD:=$BUILD_DIR/LedraCmd}"
MAKE_TREE=$BUILD_DIR/bench/make_tree
WRITE_BENCH_BIN=${WRITE_BENCH:-$BUILD_DIR/bench/write_bench}
[[ -x $MAKE_TREE ]] || die "no tree generator at $MAKE_TREE"
if [[ $WRITE_SECTION == 1 && ! -x $WRITE_BENCH_BIN ]]; then
  say "no write_bench at $WRITE_BENCH_BIN; the writing section is skipped."
  WRITE_BENCH_BIN=
fi
[[ -n ${LEDRA_CMD:-} && -x $LEDRA_CMD ]] || die "no LedraCmd to measure (LEDRA_CMD='${LEDRA_CMD:-}')"

mkdir -p "$BENCH_DIR"
# In a terminal LedraCmd shows its progress; `script` gives it one, so that the cost of the
# progress line is timed too (LedraTTY).
HAVE_SCRIPT=0
command -v script >/dev/null && HAVE_SCRIPT=1

# walk_section SCALE: makes (or reuses) the tree of that scale, times every tool on it and
# writes the report of the walk.
walk_section() {
local SCALE=$1
# --- Tree ----------------------------------------------------------------------------------

TREE=$BENCH_DIR/tree-$SCALE
STAMP=$BENCH_DIR/tree-$SCALE.done
GENERATOR=$("$MAKE_TREE" --version) || die "$MAKE_TREE does not run"
if [[ ! -f $STAMP || $(head -1 "$STAMP") != "$GENERATOR" || ! -d $TREE ]]; then
  say "Generating the tree at scale $SCALE in $TREE (once; about a minute at scale 1 on an idle machine) ..."
  rm -f -- "$STAMP"
  # An old tree is removed only after the new one is made: ext4 hands out inodes slowly
  # right after a mass deletion, which made generating take five times as long.
  if [[ -e $TREE ]]; then mv -- "$TREE" "$BENCH_DIR/.old-tree-$SCALE.$$"; fi
  t0=$(now)
  summary=$("$MAKE_TREE" "$TREE" "$SCALE") || die "make_tree failed"
  t1=$(now)
  printf '%s\n%s\n' "$GENERATOR" "$summary" >"$STAMP"
  say "$summary"
  say "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "generated in %.1f s", b - a }')"
else
  say "Reusing the tree in $TREE"
fi
old_trees=("$BENCH_DIR"/.old-tree-*)
if [[ -e ${old_trees[0]} ]]; then
  say "Removing the trees of earlier generations ..."
  rm -rf -- "${old_trees[@]}"
fi
sync

# Counting walks the tree, which also brings it into the cache.
say "Counting and warming the cache ..."
ENTRIES=$(find "$TREE" -mindepth 1 -printf x | wc -c)
FOLDERS=$(find "$TREE" -type d -printf x | wc -c)
FILES=$((ENTRIES - (FOLDERS - 1)))
APPARENT=$(du -s --apparent-size --block-size=1 "$TREE" | cut -f1)
DISK=$(du -s --block-size=1 "$TREE" | cut -f1)
NAME_BYTES=$(($(find "$TREE" -mindepth 1 -printf '%f\n' | wc -c) - ENTRIES))
FSTYPE=$(findmnt -n -o FSTYPE -T "$TREE" 2>/dev/null || stat -f -c %T "$TREE")

# --- Timing --------------------------------------------------------------------------------

WORK=$BENCH_DIR/work
LEDRA_OUT=$BENCH_DIR/ledra-out
NCDU_OUT=$BENCH_DIR/ncdu-out
rm -rf -- "$WORK" "$LEDRA_OUT" "$NCDU_OUT"
mkdir -p "$WORK" "$LEDRA_OUT" "$NCDU_OUT"
printf '#DEV %s,Bench\n' "$TREE" >"$LEDRA_OUT/params.txt"

declare -A TIMES=() PEAK=()

# measure NAME COMMAND...: one run under GNU time; keeps its wall time and peak memory.
measure() {
  local name=$1 t0 t1 rss
  shift
  t0=$(now)
  if ! /usr/bin/time -v -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/stderr.txt"; then
    cat "$WORK/stderr.txt" >&2
    die "$name failed: $*"
  fi
  t1=$(now)
  TIMES[$name]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') "
  rss=$(awk -F': *' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt")
  if ((rss > ${PEAK[$name]:-0})); then PEAK[$name]=$rss; fi
}

clear_catalogues() { find "$LEDRA_OUT" -maxdepth 1 -name '*.kvl*' -delete; }

# One LedraCmd run: a fresh catalogue every time, checked afterwards.
run_ledra() {
  clear_catalogues
  measure LedraCmd "$LEDRA_CMD" -f "$LEDRA_OUT/params.txt"
  if [[ -s $WORK/stderr.txt ]]; then
    cat "$WORK/stderr.txt" >&2
    die "LedraCmd reported an error"
  fi
  CATALOGUE=$(find "$LEDRA_OUT" -maxdepth 1 -name '*.kvl' -printf '%s %f\n' | head -1)
  [[ -n $CATALOGUE ]] || die "LedraCmd wrote no catalogue into $LEDRA_OUT"
}

# The same run with a terminal as its standard error, so that it shows its progress line.
run_ledra_tty() {
  clear_catalogues
  measure LedraTTY script -qfec "$(printf '%q -f %q' "$LEDRA_CMD" "$LEDRA_OUT/params.txt")" /dev/null
}

# The catalogue's tables have a known size: 12 bytes per folder, 11 per entry plus its name
# in version 5 (17 in version 6, for more than 65,535 folders), two counts. What is left is
# the header; anything else means entries went missing.
check_catalogue() {
  local bytes=${CATALOGUE%% *} header perEntry=11
  CATALOGUE_VERSION=$(od -An -tu2 -j4 -N2 "$LEDRA_OUT/${CATALOGUE#* }" | tr -d ' ')
  ((FOLDERS > 65535)) && perEntry=17
  header=$((bytes - (12 * FOLDERS + perEntry * ENTRIES + NAME_BYTES + 8)))
  if ((header >= 20 && header <= 4096)); then
    CATALOGUE_CHECK="holds all $ENTRIES entries and $FOLDERS folders ($header header bytes)"
  else
    CATALOGUE_CHECK="WARNING: its size does not fit a catalogue of this tree ($header bytes left for the header)"
  fi
}

# The memory LedraCmd needs whatever the tree: one run on a folder holding one file.
baseline_rss() {
  local tiny=$WORK/tiny out=$WORK/tiny-out
  mkdir -p "$tiny" "$out"
  : >"$tiny/one-file"
  printf '#DEV %s,Tiny\n' "$tiny" >"$out/params.txt"
  measure baseline "$LEDRA_CMD" -f "$out/params.txt"
  BASELINE_RSS=${PEAK[baseline]}
}

run_du() { measure du du -s --apparent-size "$TREE"; }
run_find() { measure find find "$TREE" -printf '%s %T@ %p\n'; }
run_ncdu() {
  rm -f "$NCDU_OUT/tree.ncdu"
  measure ncdu ncdu -0 -e -o "$NCDU_OUT/tree.ncdu" "$TREE"
}

TOOLS=(du find)
((HAVE_NCDU)) && TOOLS+=(ncdu)
TOOLS+=(LedraCmd)
((HAVE_SCRIPT)) && TOOLS+=(LedraTTY)

# One untimed round first: it warms the cache for every tool and stops early if one fails.
say "Warm-up round ..."
for tool in "${TOOLS[@]}"; do
  case $tool in
    du) run_du ;; find) run_find ;; ncdu) run_ncdu ;; LedraCmd) run_ledra ;; LedraTTY) run_ledra_tty ;;
  esac
done
TIMES=() PEAK=()

# Rounds, each running every tool once, so that a disturbance spreads over all of them.
say "Timing $RUNS rounds ..."
for ((round = 1; round <= RUNS; round++)); do
  for tool in "${TOOLS[@]}"; do
    case $tool in
      du) run_du ;; find) run_find ;; ncdu) run_ncdu ;; LedraCmd) run_ledra ;; LedraTTY) run_ledra_tty ;;
    esac
  done
done
check_catalogue
clear_catalogues
rm -f "$NCDU_OUT/tree.ncdu"
baseline_rss

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
best() { tr ' ' '\n' | grep . | sort -g | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

declare -A MEDIAN=() BEST=()
for tool in "${TOOLS[@]}"; do
  MEDIAN[$tool]=$(median <<<"${TIMES[$tool]}")
  BEST[$tool]=$(best <<<"${TIMES[$tool]}")
done
# Time ratio of LedraCmd to another tool, median against median and best against best.
versus() {
  printf 'LedraCmd / %-5s: %s x the time (best runs: %s x)' "$1" \
    "$(ratio "${MEDIAN[LedraCmd]}" "${MEDIAN[$1]}")" "$(ratio "${BEST[LedraCmd]}" "${BEST[$1]}")"
}

REPORT=$BENCH_DIR/report-scale-$SCALE.txt
{
  say ""
  say "=== Tree walk: scale $SCALE, $RUNS rounds, warm cache ==="
  say "machine : $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), kernel $(uname -r)"
  say "tree    : $TREE ($FSTYPE)"
  say "          $FOLDERS folders (root included), $FILES files, $ENTRIES entries (root not counted)"
  say "          $APPARENT bytes apparent, $DISK bytes on disk"
  say "LedraCmd: $LEDRA_CMD ($(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo 'no git'))"
  say "catalog : ${CATALOGUE#* } of ${CATALOGUE%% *} bytes, version $CATALOGUE_VERSION: $CATALOGUE_CHECK"
  say ""
  printf '%-9s %9s %9s %11s  %s\n' tool "median s" "best s" "peak RSS KB" "all runs (s)"
  for tool in "${TOOLS[@]}"; do
    printf '%-9s %9.3f %9.3f %11d  %s\n' "$tool" "${MEDIAN[$tool]}" "${BEST[$tool]}" \
      "${PEAK[$tool]}" "${TIMES[$tool]}"
  done
  ((HAVE_NCDU)) || say "ncdu       (not installed and could not be installed: left out)"
  say ""
  for tool in "${TOOLS[@]}"; do
    [[ $tool == LedraCmd || $tool == LedraTTY ]] ||
      say "$(versus "$tool"), $(ratio "${PEAK[LedraCmd]}" "${PEAK[$tool]}") x the peak memory"
  done
  if ((HAVE_SCRIPT)); then
    say "LedraTTY / du   : $(ratio "${MEDIAN[LedraTTY]}" "${MEDIAN[du]}") x the time with the progress line on a terminal" \
      "(LedraTTY / LedraCmd: $(ratio "${MEDIAN[LedraTTY]}" "${MEDIAN[LedraCmd]}") x)"
  fi
  say "LedraCmd memory : $(awk -v k="${PEAK[LedraCmd]}" -v n="$ENTRIES" \
    'BEGIN { printf "%.1f", k * 1024 / n }') bytes of peak RSS per entry;" \
    "$(awk -v k="${PEAK[LedraCmd]}" -v b="$BASELINE_RSS" -v n="$ENTRIES" \
    'BEGIN { printf "%.1f", (k - b) * 1024 / n }') above the $BASELINE_RSS KB of a one-file run"
} | tee "$REPORT"

}

walk_section "$SCALE"
if ((BEYOND)); then
  walk_section "$BEYOND_SCALE"
fi

# --- Writing speed -------------------------------------------------------------------------

if ((WRITE_SECTION == 0)); then
  exit 0
fi
if [[ -z $WRITE_BENCH_BIN || ! -x $WRITE_BENCH_BIN ]]; then
  say ""
  say "=== Catalogue writer: skipped (write_bench was not built) ==="
  exit 0
fi
SHM=/dev/shm
[[ -d $SHM && -w $SHM ]] || SHM=$BENCH_DIR
WRITER_FILE=$SHM/ledra-write-bench.kvl
DD_FILE=$SHM/ledra-dd-bench
say ""
say "Timing the catalogue writer ($WRITE_ENTRIES entries, $RUNS runs, into $SHM) ..."
"$WRITE_BENCH_BIN" --entries "$WRITE_ENTRIES" --runs "$RUNS" --file "$WRITER_FILE" >"$WORK/write.txt" ||
  { cat "$WORK/write.txt"; die "write_bench failed"; }
summary=$(grep '^entries=' "$WORK/write.txt" | tail -1)
[[ -n $summary ]] || { cat "$WORK/write.txt"; die "write_bench printed no summary"; }
field() { tr ' ' '\n' <<<"$summary" | awk -F= -v k="$1" '$1 == k { print $2 }'; }
W_BYTES=$(field bytes)
W_MEDIAN=$(field median_s)
W_BEST=$(field best_s)

# dd writes as many bytes in 128 KiB blocks (the writer's buffer) and flushes them too.
DD_TIMES=""
for ((run = 1; run <= RUNS; run++)); do
  rm -f "$DD_FILE"
  out=$(dd if=/dev/zero of="$DD_FILE" bs=128K count="$W_BYTES" iflag=count_bytes conv=fsync 2>&1) ||
    { printf '%s\n' "$out" >&2; die "dd failed"; }
  seconds=$(sed -n 's/.* copied, \([0-9.e+-]*\) s,.*/\1/p' <<<"$out")
  [[ -n $seconds ]] || { printf '%s\n' "$out" >&2; die "cannot read dd's time"; }
  DD_TIMES+="$seconds "
done
rm -f "$DD_FILE"
DD_MEDIAN=$(median <<<"$DD_TIMES")
DD_BEST=$(best <<<"$DD_TIMES")
mbps() { awk -v b="$W_BYTES" -v s="$1" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }
{
  say ""
  say "=== Catalogue writer: $WRITE_ENTRIES entries, $W_BYTES bytes into $SHM, $RUNS runs ==="
  grep '^write_bench:' "$WORK/write.txt" || true
  printf '%-12s %9s %9s %10s %10s\n' "" "median s" "best s" "med MB/s" "best MB/s"
  printf '%-12s %9.4f %9.4f %10s %10s\n' WriteCatalog "$W_MEDIAN" "$W_BEST" "$(mbps "$W_MEDIAN")" "$(mbps "$W_BEST")"
  printf '%-12s %9.4f %9.4f %10s %10s\n' dd "$DD_MEDIAN" "$DD_BEST" "$(mbps "$DD_MEDIAN")" "$(mbps "$DD_BEST")"
  say "WriteCatalog / dd : $(ratio "$W_MEDIAN" "$DD_MEDIAN") x the time" \
    "($(ratio "$DD_MEDIAN" "$W_MEDIAN") x dd's throughput)"
} | tee -a "$REPORT"
say ""
say "Report saved in $REPORT"
