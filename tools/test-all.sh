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
set -uo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test || exit 1

out=build-ci
jobs=${LEDRA_JOBS:-$(nproc)}
cache=${LEDRA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ledra}
failed=()

# configureAndBuild NAME LABEL [cmake options...]: configures and builds one configuration.
configureAndBuild() {
  local name=$1 label=$2
  shift 2
  echo "=== $label"
  cmake -S . -B "$out/$name" -G Ninja -DLEDRA_WERROR=ON "$@" >/dev/null &&
    cmake --build "$out/$name" -j "$jobs"
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
# cache: the Windows configuration then compiles only Ledra's own sources.
mingwGtest() {
  local version
  version=$(dpkg-query -W -f='${Version}' googletest)
  local prefix=$cache/googletest-$version-mingw-w64
  if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    local work=$out/googletest-mingw-w64
    echo "=== GoogleTest $version for mingw-w64 (kept in $prefix)" >&2
    cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DBUILD_GMOCK=OFF \
      -Dgtest_force_shared_crt=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null &&
      cmake --build "$work" -j "$jobs" >&2 && cmake --install "$work" >/dev/null || return 1
  fi
  echo "$prefix/lib/cmake/GTest"
}

if configureAndBuild native "native (GCC, -Werror)" -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
  runTests native "native (GCC, -Werror)" -j "$jobs"
else
  failed+=("native build")
fi

if configureAndBuild sanitize "native with AddressSanitizer and UndefinedBehaviorSanitizer" \
  -DCMAKE_BUILD_TYPE=Debug -DLEDRA_SANITIZE=ON; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    runTests sanitize "native with AddressSanitizer and UndefinedBehaviorSanitizer" -j "$jobs"
else
  failed+=("sanitizer build")
fi

# wine-run.sh runs the whole suite in one Wine process (and drops root's permission
# override itself); its tests are counted one by one.
if gtestDir=$(mingwGtest) &&
  configureAndBuild windows "Windows (mingw-w64) under Wine" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DGTest_DIR="$gtestDir"; then
  runTests windows "Windows (mingw-w64) under Wine"
else
  failed+=("Windows build")
fi

echo "=== fuzzing, ${LEDRA_FUZZ_SECONDS:-30} s per target"
.ci/fuzz.sh "$out/fuzz" "${LEDRA_FUZZ_SECONDS:-30}" || failed+=("fuzzing")

echo "=== format"
tools/check-format.sh --strict || failed+=("format")

if [ ${#failed[@]} -ne 0 ]; then
  echo "=== failed: $(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')"
  exit 1
fi
echo "=== all configurations passed"
