#!/usr/bin/env bash
# Builds and tests Ledra in every configuration CI knows: native with warnings as errors,
# native under AddressSanitizer and UndefinedBehaviorSanitizer, Windows (mingw-w64) under
# Wine, and a bounded fuzzing run of every fuzz target. Each configuration ends with its
# counts of passed, failed and skipped tests and the reason of every skip; a failed
# configuration does not stop the others, and the exit status is 1 when any failed.
#
#   LEDRA_JOBS           parallel compiles and tests (default: the number of processors)
#   LEDRA_FUZZ_SECONDS   how long each fuzz target runs (default 30)
#   LEDRA_CACHE          where third-party builds are kept between runs
#                        (default: ${XDG_CACHE_HOME:-~/.cache}/ledra)
#
# Each phase's elapsed time and the processor time of its processes (user plus system) are
# printed as it ends and again in a table at the end, so that a slow run shows where it went.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

out=build-ci
jobs=${LEDRA_JOBS:-$(nproc)}
cache=${LEDRA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ledra}
# The PCRE2 and SQLite builds of install-deps.sh go to the same cache.
export LEDRA_DEPS_CACHE=${LEDRA_DEPS_CACHE:-$cache}
failed=()
start=$EPOCHREALTIME
mkdir -p "$out"

# cpuNow VAR: sets VAR to the processor seconds (user plus system) of every process this
# shell waited for so far. `times` must run in this shell itself: a subshell's count starts
# at 0, so only awk runs in one, on a file of this shell's own.
cpuNow() {
  local file=$out/.times-$BASHPID
  times >"$file"
  printf -v "$1" '%s' "$(awk 'NR == 2 {
    for (i = 1; i <= 2; i++) { split($i, t, "m"); sum += t[1] * 60 + t[2] }
    printf "%.1f", sum }' "$file")"
}

# timed LABEL COMMAND...: runs one phase, notes its elapsed and processor seconds and passes
# its exit status through.
phases=()
timed() {
  local label=$1
  shift
  local wall0=$EPOCHREALTIME cpu0 cpu1 status
  cpuNow cpu0
  "$@"
  status=$?
  cpuNow cpu1
  local wall cpu
  wall=$(awk -v a="$wall0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  cpu=$(awk -v a="$cpu0" -v b="$cpu1" 'BEGIN { printf "%.1f", b - a }')
  echo "=== $label: ${wall} s elapsed, ${cpu} s processor"
  phases+=("$label|$wall|$cpu")
  return $status
}

# The processor time of a phase run in the background also counts in the phase during which
# it ended, when this shell collected it; the whole run counts it once.
printPhases() {
  echo "=== time per phase (seconds; processor = user + system of its processes)"
  printf '%s\n' "${phases[@]}" | awk -F'|' '
    BEGIN { printf "  %-34s %8s %10s\n", "phase", "elapsed", "processor" }
    { printf "  %-34s %8s %10s\n", $1, $2, $3 }'
  local total
  cpuNow total
  awk -v a="$start" -v b="$EPOCHREALTIME" -v cpu="$total" \
    'BEGIN { printf "  %-34s %8.1f %10.1f\n", "whole run", b - a, cpu }'
  echo "  load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
}

timed "dependencies" tools/install-deps.sh test || exit 1

# configureAndBuild NAME LABEL TARGET [cmake options...]: configures one configuration and
# builds TARGET (all: everything).
configureAndBuild() {
  local name=$1 label=$2 target=$3
  shift 3
  echo "=== $label"
  cmake -S . -B "$out/$name" -G Ninja -DLEDRA_WERROR=ON "$@" >/dev/null &&
    cmake --build "$out/$name" -j "$jobs" --target "$target"
}

# runTests NAME LABEL [ctest options...]: runs one configuration's tests and sums them up. The
# whole output of passing tests is kept, so that the summary sees every skip's reason.
runTests() {
  local name=$1 label=$2
  shift 2
  local results=$PWD/$out/$name/test-results.xml
  rm -f "$results"
  ctest --test-dir "$out/$name" --output-on-failure --output-junit "$results" \
    --test-output-size-passed 4194304 --test-output-size-failed 4194304 "$@"
  local status=$?
  tools/test-summary.sh "$label" "$results" || status=1
  [ $status -eq 0 ] || failed+=("$label")
}

# GoogleTest for the Windows build, compiled once per GoogleTest version and kept in the
# cache: the Windows configuration then compiles only Ledra's own sources. Sets gtestDir.
mingwGtest() {
  local version
  version=$(dpkg-query -W -f='${Version}' googletest)
  local prefix=$cache/googletest-$version-mingw-w64
  gtestDir=$prefix/lib/cmake/GTest
  [ -f "$gtestDir/GTestConfig.cmake" ] && return 0
  local work=$out/googletest-mingw-w64
  echo "=== GoogleTest $version for mingw-w64 (kept in $prefix)"
  cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DBUILD_GMOCK=OFF \
    -Dgtest_force_shared_crt=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null &&
    cmake --build "$work" -j "$jobs" && cmake --install "$work" >/dev/null
}

# wine-run.sh runs the whole suite in one Wine process (and drops root's permission
# override itself); its tests are counted one by one. -O1 without debugging information
# compiles in half the time of -O2 -g. The Wine run spends most of its time waiting (its
# two passes take minutes and a tenth of that in processor time), so it is built first and
# goes on in the background while every other configuration builds and runs; its output
# follows when they are done.
windows="Windows (mingw-w64) under Wine"
wineRun=
if timed "Windows: GoogleTest" mingwGtest &&
  timed "Windows: build" configureAndBuild windows "$windows" ledra_tests \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -DNDEBUG" \
    -DCMAKE_UNITY_BUILD=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DGTest_DIR="$gtestDir"; then
  echo "=== $windows: tests run in the background (their processor time also counts in the" \
    "phase during which they end)"
  (
    timed "Windows: tests (background)" runTests windows "$windows"
    printf '%s\n' "${phases[-1]}" >"$out/.windows-phase"
    [ ${#failed[@]} -eq 0 ]
  ) >"$out/windows-tests.log" 2>&1 &
  wineRun=$!
else
  failed+=("Windows build")
fi

native="native (GCC, -Werror)"
# The native build compiles every file on its own, as a developer's build does, so that a
# file missing an include fails here; at -O2, as released, for the warnings that only
# optimisation finds, but without debugging information, which took a third of the time
# of each test file and serves no one here.
if timed "$native: build" configureAndBuild native "$native" all \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG"; then
  timed "$native: tests" runTests native "$native" -j "$jobs"
else
  failed+=("native build")
fi

# The other builds only serve the tests: they build the test programs only, each library
# in batches of its sources (a unity build). The sanitizers stay at -O0: at -O1 each file
# takes twice the time to compile, more than the tests would gain.
sanitize="native with AddressSanitizer and UndefinedBehaviorSanitizer"
if timed "sanitizers: build" configureAndBuild sanitize "$sanitize" ledra_tests \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_UNITY_BUILD=ON -DLEDRA_SANITIZE=ON; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    timed "sanitizers: tests" runTests sanitize "$sanitize" -j "$jobs"
else
  failed+=("sanitizer build")
fi

echo "=== fuzzing, ${LEDRA_FUZZ_SECONDS:-30} s per target"
timed "fuzzing" .ci/fuzz.sh "$out/fuzz" "${LEDRA_FUZZ_SECONDS:-30}" || failed+=("fuzzing")

if [ -n "$wineRun" ]; then
  wait "$wineRun" || failed+=("$windows")
  cat "$out/windows-tests.log"
  phases+=("$(cat "$out/.windows-phase" 2>/dev/null)")
fi

echo "=== format"
timed "format" tools/check-format.sh --strict || failed+=("format")

printPhases
if [ ${#failed[@]} -ne 0 ]; then
  joined=$(printf '%s, ' "${failed[@]}")
  echo "=== failed: ${joined%, }"
  exit 1
fi
echo "=== all configurations passed"
