#!/usr/bin/env bash
# Ledra benchmark: how long LedraCmd takes to catalogue a large tree, and how much memory it
# needs, beside du, find and ncdu walking the same tree; then LedraCmd beside du on a mount
# that waits for every folder listing, as a network share does; then how fast the catalogue
# writer writes beside dd writing as many bytes. See bench/README.md.
#
#   bench/run.sh [--scale S] [--runs N] [--skip-build] [--no-write] [--beyond] [--no-latency]
#                [--no-deep]
#
# --no-deep leaves out the deep trees: chains of 500, 1,000 and 2,000 nested folders, where
# a walk that opened each folder from the root would cost the square of the depth.
# --beyond times a second tree as well, of scale BEYOND_SCALE (default 1.4: 70,000 folders),
# more folders than a version-5 catalogue numbers, so that LedraCmd writes version 6.
# --no-latency leaves out the latency rig (which needs root, /dev/fuse and libfuse3-dev);
# LATENCY_MS (default 5) is its wait per listing, LATENCY_SCALE (default 0.0208: 1,040
# folders, 12,500 files) the size of its tree.
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
LATENCY_SECTION=1
LATENCY_MS=${LATENCY_MS:-5}
LATENCY_SCALE=${LATENCY_SCALE:-0.0208}
DEEP_SECTION=1

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
    --no-latency) LATENCY_SECTION=0; shift ;;
    --no-deep) DEEP_SECTION=0; shift ;;
    *) usage ;;
  esac
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: --runs needs a whole number above 0" >&2; exit 2; }
[[ $SCALE =~ ^[0-9]*\.?[0-9]+$ ]] || { echo "run.sh: --scale needs a number such as 0.05" >&2; exit 2; }
[[ $LATENCY_MS =~ ^[0-9]+$ ]] || { echo "run.sh: LATENCY_MS needs a whole number of milliseconds" >&2; exit 2; }
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
  # The latency rig is a target only where CMake found libfuse3.
  if ((LATENCY_SECTION)) && cmake --build "$BUILD_DIR" --target help 2>/dev/null | grep -q '^latency_mirror:'; then
    cmake --build "$BUILD_DIR" --target latency_mirror >>"$LOG_DIR/build.log" 2>&1 ||
      die "latency_mirror does not build; see $LOG_DIR/build.log"
  fi
fi
: "${LEDRA_CMD:=$BUILD_DIR/LedraCmd}"
MAKE_TREE=$BUILD_DIR/bench/make_tree
LATENCY_MIRROR=$BUILD_DIR/bench/latency_mirror
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

WORK=$BENCH_DIR/work
rm -rf -- "$WORK"
mkdir -p "$WORK"
# Every section appends to the report of the main tree; the summary closes it.
REPORT=$BENCH_DIR/report-scale-$SCALE.txt
: >"$REPORT"
# The summary: the rig's line first, then the local tree's (time and memory).
RIG_SUMMARY=
SUMMARY=()

# --- Tree ----------------------------------------------------------------------------------

# prepare_tree SCALE: makes (or reuses) the tree of that scale in TREE and counts it (which
# also brings it into the cache): FOLDERS, FILES, ENTRIES, NAME_BYTES and the rest.
prepare_tree() {
  local scale=$1 stamp generator summary t0 t1 old_trees
  TREE=$BENCH_DIR/tree-$scale
  stamp=$BENCH_DIR/tree-$scale.done
  generator=$("$MAKE_TREE" --version) || die "$MAKE_TREE does not run"
  if [[ ! -f $stamp || $(head -1 "$stamp") != "$generator" || ! -d $TREE ]]; then
    say "Generating the tree at scale $scale in $TREE (once; about a minute at scale 1 on an idle machine) ..."
    rm -f -- "$stamp"
    # An old tree is removed only after the new one is made: ext4 hands out inodes slowly
    # right after a mass deletion, which made generating take five times as long.
    if [[ -e $TREE ]]; then mv -- "$TREE" "$BENCH_DIR/.old-tree-$scale.$$"; fi
    t0=$(now)
    summary=$("$MAKE_TREE" "$TREE" "$scale") || die "make_tree failed"
    t1=$(now)
    printf '%s\n%s\n' "$generator" "$summary" >"$stamp"
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

  say "Counting and warming the cache ..."
  ENTRIES=$(find "$TREE" -mindepth 1 -printf x | wc -c)
  FOLDERS=$(find "$TREE" -type d -printf x | wc -c)
  FILES=$((ENTRIES - (FOLDERS - 1)))
  APPARENT=$(du -s --apparent-size --block-size=1 "$TREE" | cut -f1)
  DISK=$(du -s --block-size=1 "$TREE" | cut -f1)
  NAME_BYTES=$(($(find "$TREE" -mindepth 1 -printf '%f\n' | wc -c) - ENTRIES))
  FSTYPE=$(findmnt -n -o FSTYPE -T "$TREE" 2>/dev/null || stat -f -c %T "$TREE")
}

# --- Runs ----------------------------------------------------------------------------------

# measure NAME COMMAND...: one run under GNU time; keeps its wall time and peak memory in the
# caller's TIMES and PEAK.
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

# run_ledra [NAME [VARIABLE=VALUE...]]: one LedraCmd run with the parameter file in
# LEDRA_OUT, in that environment; a fresh catalogue every time, checked afterwards.
run_ledra() {
  local name=${1:-LedraCmd}
  (($# == 0)) || shift
  clear_catalogues
  measure "$name" env "$@" "$LEDRA_CMD" -f "$LEDRA_OUT/params.txt"
  if [[ -s $WORK/stderr.txt ]]; then
    cat "$WORK/stderr.txt" >&2
    die "$name reported an error"
  fi
  CATALOGUE=$(find "$LEDRA_OUT" -maxdepth 1 -name '*.kvl' -printf '%s %f\n' | head -1)
  [[ -n $CATALOGUE ]] || die "$name wrote no catalogue into $LEDRA_OUT"
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
  TABLE_BYTES=$((12 * FOLDERS + perEntry * ENTRIES + NAME_BYTES + 8))
  header=$((bytes - TABLE_BYTES))
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

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
best() { tr ' ' '\n' | grep . | sort -g | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
# within VALUE LIMIT: "met" when VALUE is at most LIMIT.
within() { awk -v v="$1" -v l="$2" 'BEGIN { print (v != "n/a" && v + 0 <= l + 0) ? "met" : "NOT met" }'; }
load_average() { cut -d' ' -f1-3 /proc/loadavg; }

# Time ratio of LedraCmd to another tool, median against median and best against best.
versus() {
  printf 'LedraCmd / %-5s: %s x the time (best runs: %s x)' "$1" \
    "$(ratio "${MEDIAN[LedraCmd]}" "${MEDIAN[$1]}")" "$(ratio "${BEST[LedraCmd]}" "${BEST[$1]}")"
}

# timing_table TOOL...: median, best, peak memory and every run of each tool.
timing_table() {
  local tool
  printf '%-9s %9s %9s %11s  %s\n' tool "median s" "best s" "peak RSS KB" "all runs (s)"
  for tool in "$@"; do
    printf '%-9s %9.3f %9.3f %11d  %s\n' "$tool" "${MEDIAN[$tool]}" "${BEST[$tool]}" \
      "${PEAK[$tool]}" "${TIMES[$tool]}"
  done
}

# --- Walking the tree ----------------------------------------------------------------------

# walk_section SCALE: times every tool on the tree of that scale, warm in the cache, and
# writes the report of the walk.
walk_section() {
  local scale=$1 tool round duRatio perEntry aboveBaseline baselineNote
  prepare_tree "$scale"
  LEDRA_OUT=$BENCH_DIR/ledra-out
  NCDU_OUT=$BENCH_DIR/ncdu-out
  rm -rf -- "$LEDRA_OUT" "$NCDU_OUT"
  mkdir -p "$LEDRA_OUT" "$NCDU_OUT"
  printf '#DEV %s,Bench\n' "$TREE" >"$LEDRA_OUT/params.txt"

  local -A TIMES=() PEAK=() MEDIAN=() BEST=()
  local TOOLS=(du find)
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

  for tool in "${TOOLS[@]}"; do
    MEDIAN[$tool]=$(median <<<"${TIMES[$tool]}")
    BEST[$tool]=$(best <<<"${TIMES[$tool]}")
  done
  duRatio=$(ratio "${MEDIAN[LedraCmd]}" "${MEDIAN[du]}")
  perEntry=$(awk -v k="${PEAK[LedraCmd]}" -v n="$ENTRIES" 'BEGIN { printf "%.1f", k * 1024 / n }')
  aboveBaseline=$(awk -v k="${PEAK[LedraCmd]}" -v b="$BASELINE_RSS" -v n="$ENTRIES" \
    'BEGIN { printf "%.1f", (k - b) * 1024 / n }')
  # On a small tree the program's own memory outweighs the entries': the target is for the
  # benchmark tree of scale 1.
  baselineNote=$(awk -v b="$BASELINE_RSS" -v n="$ENTRIES" \
    'BEGIN { s = b * 1024 / n; if (s > 10) printf " (a one-file run alone is %.1f bytes per entry of this tree: judge at scale 1)", s }')

  {
    say ""
    say "=== Tree walk: scale $scale, $RUNS rounds, warm cache ==="
    say "machine : $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), kernel $(uname -r)"
    say "load    : $(load_average) (load average when the rounds ended)"
    say "tree    : $TREE ($FSTYPE)"
    say "          $FOLDERS folders (root included), $FILES files, $ENTRIES entries (root not counted)"
    say "          $APPARENT bytes apparent, $DISK bytes on disk"
    say "LedraCmd: $LEDRA_CMD ($(git -C "$REPO" rev-parse --short HEAD 2>/dev/null || echo 'no git'))"
    say "catalog : ${CATALOGUE#* } of ${CATALOGUE%% *} bytes, version $CATALOGUE_VERSION: $CATALOGUE_CHECK"
    say ""
    timing_table "${TOOLS[@]}"
    ((HAVE_NCDU)) || say "ncdu       (not installed and could not be installed: left out)"
    say ""
    for tool in "${TOOLS[@]}"; do
      [[ $tool == LedraCmd || $tool == LedraTTY ]] ||
        say "$(versus "$tool"), $(ratio "${PEAK[LedraCmd]}" "${PEAK[$tool]}") x the peak memory"
    done
    say "target          : LedraCmd within 1.1 x du on a warm local tree: $(within "$duRatio" 1.1)"
    if ((HAVE_SCRIPT)); then
      say "LedraTTY / du   : $(ratio "${MEDIAN[LedraTTY]}" "${MEDIAN[du]}") x the time with the progress line on a terminal" \
        "(LedraTTY / LedraCmd: $(ratio "${MEDIAN[LedraTTY]}" "${MEDIAN[LedraCmd]}") x)"
    fi
    say "LedraCmd memory : $perEntry bytes of peak RSS per entry;" \
      "$aboveBaseline above the $BASELINE_RSS KB of a one-file run"
    say "target          : within 100 bytes of peak RSS per entry: $(within "$perEntry" 100)$baselineNote"
  } | tee -a "$REPORT"

  SUMMARY+=("local, scale $scale: LedraCmd / du $duRatio x on the warm tree of $ENTRIES entries (target: within 1.1 x du: $(within "$duRatio" 1.1))")
  SUMMARY+=("memory, scale $scale: $perEntry bytes of peak RSS per entry, $aboveBaseline above a one-file run (target: within 100: $(within "$perEntry" 100))$baselineNote")
}

# --- Latency rig ---------------------------------------------------------------------------

RIG_MOUNT=$BENCH_DIR/rig-mount
RIG_PID=

rig_mounted() { findmnt -n -M "$RIG_MOUNT" >/dev/null 2>&1; }

# Unmounts the rig whatever happened: a normal unmount, a lazy one when something still
# holds the mount, and the mirror's process ended last. Runs on every exit.
rig_unmount() {
  if rig_mounted; then
    fusermount3 -u "$RIG_MOUNT" 2>/dev/null || fusermount3 -u -z "$RIG_MOUNT" 2>/dev/null ||
      umount -l "$RIG_MOUNT" 2>/dev/null || say "run.sh: could not unmount $RIG_MOUNT" >&2
  fi
  if [[ -n $RIG_PID ]]; then
    local tries
    for ((tries = 0; tries < 20; tries++)); do
      kill -0 "$RIG_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$RIG_PID" 2>/dev/null || true
    wait "$RIG_PID" 2>/dev/null || true
    RIG_PID=
  fi
}
trap rig_unmount EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Why the rig cannot run here, or nothing when it can.
rig_missing() {
  if ((EUID != 0)); then
    echo "it needs root"
  elif [[ ! -c /dev/fuse ]]; then
    echo "there is no /dev/fuse"
  elif [[ ! -x $LATENCY_MIRROR ]]; then
    echo "latency_mirror was not built (libfuse3-dev missing?)"
  elif ! command -v fusermount3 >/dev/null; then
    echo "fusermount3 is missing (Debian package fuse3)"
  fi
}

# Mounts the tree in TREE through the mirror at RIG_MOUNT and waits until the mount is there.
rig_mount() {
  local tries
  rig_unmount
  mkdir -p "$RIG_MOUNT"
  "$LATENCY_MIRROR" -f -o "delay_ms=$LATENCY_MS" "$TREE" "$RIG_MOUNT" 2>"$WORK/mirror.log" &
  RIG_PID=$!
  for ((tries = 0; tries < 100; tries++)); do
    rig_mounted && return 0
    kill -0 "$RIG_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$WORK/mirror.log" >&2
  die "latency_mirror did not mount $TREE at $RIG_MOUNT"
}

# The thread count LedraCmd settles on by itself over the mount: the most threads its
# process had, sampled while it runs (untimed).
ledra_threads() {
  local pid most=0 count
  clear_catalogues
  "$LEDRA_CMD" -f "$LEDRA_OUT/params.txt" >/dev/null 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    count=$(find "/proc/$pid/task" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
    ((count > most)) && most=$count
    sleep 0.02
  done
  wait "$pid" || true
  echo "$most"
}

# latency_section: LedraCmd and du over a small tree mounted through the latency mirror,
# which waits LATENCY_MS for every folder listing and nothing for anything else.
latency_section() {
  local missing tool round rigRatio oneRatio threads rigType oneThread sameTables
  if ((LATENCY_SECTION == 0)); then
    say ""
    say "=== Latency rig: left out (--no-latency) ==="
    RIG_SUMMARY="rig: left out (--no-latency)"
    return 0
  fi
  missing=$(rig_missing)
  if [[ -n $missing ]]; then
    say "" | tee -a "$REPORT"
    say "=== Latency rig: skipped: $missing ===" | tee -a "$REPORT"
    RIG_SUMMARY="rig: skipped: $missing"
    return 0
  fi
  prepare_tree "$LATENCY_SCALE"
  local source=$TREE
  rig_mount
  rigType="$(findmnt -n -o FSTYPE -M "$RIG_MOUNT"), statfs type 0x$(stat -f -c %t "$RIG_MOUNT")"
  say "Checking that the mount mirrors the tree ..."
  "$REPO/bench/latency_check.sh" "$source" "$RIG_MOUNT" || die "the latency rig does not mirror $source faithfully"
  TREE=$RIG_MOUNT
  LEDRA_OUT=$BENCH_DIR/ledra-rig-out
  rm -rf -- "$LEDRA_OUT"
  mkdir -p "$LEDRA_OUT"
  printf '#DEV %s,Rig\n' "$RIG_MOUNT" >"$LEDRA_OUT/params.txt"

  local -A TIMES=() PEAK=() MEDIAN=() BEST=()
  local TOOLS=(du LedraCmd LedraCmd1)
  run_one() {
    case $1 in
      du) run_du ;; LedraCmd) run_ledra ;; LedraCmd1) run_ledra LedraCmd1 LEDRA_WALK_THREADS=1 ;;
    esac
  }
  say "Latency rig: warm-up round ..."
  for tool in "${TOOLS[@]}"; do run_one "$tool"; done
  TIMES=() PEAK=()
  say "Latency rig: timing $RUNS rounds ($LATENCY_MS ms per listing) ..."
  for ((round = 1; round <= RUNS; round++)); do
    for tool in "${TOOLS[@]}"; do run_one "$tool"; done
  done
  # The rounds end with LedraCmd1, whose catalogue the walk of LedraCmd's own choice must
  # repeat: the same folders and entries in the same order. The headers differ in the time
  # written and the free space, which others on the disk change.
  check_catalogue
  oneThread=$WORK/one-thread.kvl
  mv -- "$LEDRA_OUT/${CATALOGUE#* }" "$oneThread"
  threads=$(ledra_threads)
  CATALOGUE=$(find "$LEDRA_OUT" -maxdepth 1 -name '*.kvl' -printf '%s %f\n' | head -1)
  [[ -n $CATALOGUE ]] || die "LedraCmd wrote no catalogue into $LEDRA_OUT"
  if cmp -s <(tail -c "$TABLE_BYTES" "$oneThread") <(tail -c "$TABLE_BYTES" "$LEDRA_OUT/${CATALOGUE#* }"); then
    sameTables="the same folder and entry tables as with one walk thread"
  else
    sameTables="WARNING: its folder and entry tables differ from those written with one walk thread"
  fi
  rm -f -- "$oneThread"
  clear_catalogues
  rig_unmount
  TREE=$source

  for tool in "${TOOLS[@]}"; do
    MEDIAN[$tool]=$(median <<<"${TIMES[$tool]}")
    BEST[$tool]=$(best <<<"${TIMES[$tool]}")
  done
  rigRatio=$(ratio "${MEDIAN[LedraCmd]}" "${MEDIAN[du]}")
  oneRatio=$(ratio "${MEDIAN[LedraCmd1]}" "${MEDIAN[du]}")
  {
    say ""
    say "=== Latency rig: $LATENCY_MS ms per folder listing, $RUNS rounds ==="
    say "load    : $(load_average) (load average when the rounds ended)"
    say "tree    : $source mounted at $RIG_MOUNT ($rigType)"
    say "          $FOLDERS folders (root included), $FILES files: at least" \
      "$(awk -v f="$FOLDERS" -v d="$LATENCY_MS" 'BEGIN { printf "%.2f", f * d / 1000 }') s of waiting one listing at a time"
    say "catalog : ${CATALOGUE#* } of ${CATALOGUE%% *} bytes, version $CATALOGUE_VERSION: $CATALOGUE_CHECK"
    say "          LedraCmd's own choice of threads writes $sameTables"
    say "threads : LedraCmd ran with up to $threads threads of its own choice (LedraCmd1: LEDRA_WALK_THREADS=1)"
    say ""
    timing_table "${TOOLS[@]}"
    say ""
    say "$(versus du)"
    say "LedraCmd1 / du  : $oneRatio x the time, one walk thread"
    say "target          : LedraCmd within 0.33 x du on the rig: $(within "$rigRatio" 0.33)"
  } | tee -a "$REPORT"
  RIG_SUMMARY="rig: LedraCmd / du $rigRatio x at $LATENCY_MS ms per listing, $FOLDERS folders (target: within 0.33 x du: $(within "$rigRatio" 0.33)); one walk thread $oneRatio x; up to $threads threads"
}

walk_section "$SCALE"
if ((BEYOND)); then
  walk_section "$BEYOND_SCALE"
fi
latency_section

# --- Deep trees ----------------------------------------------------------------------------

# One chain of DEPTH nested folders with a file at the bottom, made from the bottom up so
# that no path grows beyond what one call takes.
make_chain() {
  local top=$1 depth=$2
  [[ -f $top/.complete ]] && return 0
  rm -rf "$top"
  mkdir -p "$top"
  python3 - "$top" "$depth" <<'PY'
import os, sys
top, depth = sys.argv[1], int(sys.argv[2])
os.chdir(top)
for _ in range(depth):
    os.mkdir("d")
    os.chdir("d")
open("bottom.txt", "w").write("x")
PY
  touch "$top/.complete"
}

deep_section() {
  local depth top params
  local -A TIMES=() PEAK=()
  ((DEEP_SECTION == 1)) || return 0
  say ""
  say "Timing deep trees ($RUNS runs each) ..."
  {
    say ""
    say "=== Deep trees: LedraCmd beside du -s, medians of $RUNS runs, load $(load_average) ==="
    printf '%-8s %12s %10s %10s\n' depth "LedraCmd s" "du s" "ratio"
  } | tee -a "$REPORT"
  for depth in 500 1000 2000; do
    top=$BENCH_DIR/deep-$depth
    make_chain "$top" "$depth"
    params=$LEDRA_OUT/params.txt
    printf '#DEV %s,Deep%s\n' "$top" "$depth" >"$params"
    TIMES=() PEAK=()
    for ((run = 1; run <= RUNS; run++)); do
      clear_catalogues
      measure deep "$LEDRA_CMD" -f "$params"
      measure du du -s "$top"
    done
    local l d
    l=$(median <<<"${TIMES[deep]}")
    d=$(median <<<"${TIMES[du]}")
    printf '%-8s %12.4f %10.4f %10s\n' "$depth" "$l" "$d" "$(ratio "$l" "$d")" | tee -a "$REPORT"
  done
  clear_catalogues
}
deep_section

# --- Writing speed -------------------------------------------------------------------------

write_section() {
  local shm writerFile ddFile summary out seconds run W_BYTES W_MEDIAN W_BEST DD_TIMES="" DD_MEDIAN DD_BEST
  if ((WRITE_SECTION == 0)); then
    return 0
  fi
  if [[ -z $WRITE_BENCH_BIN || ! -x $WRITE_BENCH_BIN ]]; then
    say ""
    say "=== Catalogue writer: skipped (write_bench was not built) ==="
    return 0
  fi
  shm=/dev/shm
  [[ -d $shm && -w $shm ]] || shm=$BENCH_DIR
  writerFile=$shm/ledra-write-bench.kvl
  ddFile=$shm/ledra-dd-bench
  say ""
  say "Timing the catalogue writer ($WRITE_ENTRIES entries, $RUNS runs, into $shm) ..."
  "$WRITE_BENCH_BIN" --entries "$WRITE_ENTRIES" --runs "$RUNS" --file "$writerFile" >"$WORK/write.txt" ||
    { cat "$WORK/write.txt"; die "write_bench failed"; }
  summary=$(grep '^entries=' "$WORK/write.txt" | tail -1)
  [[ -n $summary ]] || { cat "$WORK/write.txt"; die "write_bench printed no summary"; }
  field() { tr ' ' '\n' <<<"$summary" | awk -F= -v k="$1" '$1 == k { print $2 }'; }
  W_BYTES=$(field bytes)
  W_MEDIAN=$(field median_s)
  W_BEST=$(field best_s)

  # dd writes as many bytes in 128 KiB blocks (the writer's buffer) and flushes them too.
  for ((run = 1; run <= RUNS; run++)); do
    rm -f "$ddFile"
    out=$(dd if=/dev/zero of="$ddFile" bs=128K count="$W_BYTES" iflag=count_bytes conv=fsync 2>&1) ||
      { printf '%s\n' "$out" >&2; die "dd failed"; }
    seconds=$(sed -n 's/.* copied, \([0-9.e+-]*\) s,.*/\1/p' <<<"$out")
    [[ -n $seconds ]] || { printf '%s\n' "$out" >&2; die "cannot read dd's time"; }
    DD_TIMES+="$seconds "
  done
  rm -f "$ddFile"
  DD_MEDIAN=$(median <<<"$DD_TIMES")
  DD_BEST=$(best <<<"$DD_TIMES")
  mbps() { awk -v b="$W_BYTES" -v s="$1" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }
  {
    say ""
    say "=== Catalogue writer: $WRITE_ENTRIES entries, $W_BYTES bytes into $shm, $RUNS runs ==="
    grep '^write_bench:' "$WORK/write.txt" || true
    printf '%-12s %9s %9s %10s %10s\n' "" "median s" "best s" "med MB/s" "best MB/s"
    printf '%-12s %9.4f %9.4f %10s %10s\n' WriteCatalog "$W_MEDIAN" "$W_BEST" "$(mbps "$W_MEDIAN")" "$(mbps "$W_BEST")"
    printf '%-12s %9.4f %9.4f %10s %10s\n' dd "$DD_MEDIAN" "$DD_BEST" "$(mbps "$DD_MEDIAN")" "$(mbps "$DD_BEST")"
    say "WriteCatalog / dd : $(ratio "$W_MEDIAN" "$DD_MEDIAN") x the time" \
      "($(ratio "$DD_MEDIAN" "$W_MEDIAN") x dd's throughput)"
  } | tee -a "$REPORT"
}
write_section

{
  say ""
  say "=== Summary ==="
  printf '%s\n' "$RIG_SUMMARY" "${SUMMARY[@]}"
} | tee -a "$REPORT"
say ""
say "Report saved in $REPORT"
