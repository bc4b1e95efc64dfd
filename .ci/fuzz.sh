#!/bin/sh
# Builds every fuzz target (CMake option LEDRA_FUZZ: clang with libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for a bounded time on a copy of its seeds:
#
#   .ci/fuzz.sh BUILD_DIR [SECONDS]      (SECONDS per target, default 30)
#
# Exits non-zero when the build fails or a target crashes, hangs or breaks one of its
# checks; the input that did it is left in BUILD_DIR as NAME-crash-*, -timeout-* or -oom-*.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 build_dir [seconds]" >&2
  exit 2
fi
build=$1
seconds=${2:-30}
source=$(cd "$(dirname "$0")/.." && pwd)

# The libraries only serve the targets: compiled in batches of their sources (a unity build).
CXX=clang++ cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLEDRA_FUZZ=ON -DLEDRA_SANITIZE=ON -DLEDRA_TESTS=OFF -DCMAKE_UNITY_BUILD=ON >/dev/null
build=$(cd "$build" && pwd)
targets=$build/fuzz-targets.txt
# Only the fuzz targets: the programs are not needed here.
# shellcheck disable=SC2046  # one word per target
cmake --build "$build" -j "${LEDRA_JOBS:-$(nproc)}" --target $(awk '{ n = split($1, p, "/"); print p[n] }' "$targets")

# The targets run side by side, each on one processor, and are judged when all are done.
runs=""
while read -r program seeds; do
  name=$(basename "$program")
  # The fuzzer adds what it finds to its corpus: a copy keeps the seeds in the tree as made.
  corpus=$build/$name-corpus
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if [ -d "$seeds" ]; then cp "$seeds"/* "$corpus"/; fi
  # A catalogue may claim more than it holds; the reader must never allocate for that, so
  # a small malloc limit catches it.
  (cd "$build" && "$program" -max_len=4096 -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=64 -print_final_stats=1 -artifact_prefix="$build/$name-" "$corpus" \
    >"$build/$name.log" 2>&1) &
  runs="$runs $!:$name"
done <"$targets"

status=0
for run in $runs; do
  name=${run#*:}
  echo "--- $name, $seconds s"
  wait "${run%%:*}" || {
    status=1
    tail -n 40 "$build/$name.log"
  }
  # The last status line: runs done, coverage reached.
  grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$build/$name.log" | tail -n 1 || true
done
exit $status
