#!/usr/bin/env bash
# Builds and tests Ledra in every configuration CI knows: native with warnings as errors,
# native under AddressSanitizer and UndefinedBehaviorSanitizer, Windows (mingw-w64) under
# Wine, and a bounded fuzzing run of the catalogue header reader.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

out=build-ci
jobs=$(nproc)

echo "=== native (GCC, -Werror)"
cmake -S . -B "$out/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEDRA_WERROR=ON
cmake --build "$out/native"
ctest --test-dir "$out/native" --output-on-failure -j "$jobs"

echo "=== native with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B "$out/sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLEDRA_WERROR=ON \
  -DLEDRA_SANITIZE=ON
cmake --build "$out/sanitize"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$out/sanitize" --output-on-failure -j "$jobs"

echo "=== Windows (mingw-w64) under Wine"
cmake -S . -B "$out/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEDRA_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
cmake --build "$out/windows"
# Without the capabilities that let root read any folder, so that an unreadable folder is
# unreadable to the Win32 program too.
setpriv --bounding-set=-dac_override,-dac_read_search \
  --inh-caps=-dac_override,-dac_read_search \
  ctest --test-dir "$out/windows" --output-on-failure

if [ -x .ci/fuzz.sh ]; then
  echo "=== fuzzing the catalogue header reader"
  .ci/fuzz.sh "$out/fuzz" 60
fi
echo "=== all configurations passed"
