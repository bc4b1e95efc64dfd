#!/bin/sh
# Builds the catalogue header and full-reader fuzz targets with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time on a copy of the hand-made
# seeds:
#
#   .ci/fuzz.sh BUILD_DIR [SECONDS]      (SECONDS defaults to 60)
#
# Exits non-zero when the build fails or the target crashes, hangs or breaks one of its
# checks; the input that did it is left in BUILD_DIR as crash-*, timeout-* or oom-*.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 build_dir [seconds]" >&2
  exit 2
fi
build=$1
seconds=${2:-60}
source=$(cd "$(dirname "$0")/.." && pwd)

mkdir -p "$build"
build=$(cd "$build" && pwd)

# The reader with everything it needs, and the in-memory platform that holds the input.
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$source" \
  "$source/catalog/fuzz/read_header_fuzz.cc" \
  "$source/catalog/catalog_format.cc" \
  "$source/catalog/catalog_stream.cc" \
  "$source/catalog/volume_catalog.cc" \
  "$source/catalog/name_arena.cc" \
  "$source/platform/fake_platform.cc" \
  "$source/platform/message_sink.cc" \
  "$source/platform/path_text.cc" \
  "$source/platform/platform.cc" \
  "$source/platform/mapped_file_posix.cc" \
  -o "$build/read_header_fuzz"

# The full reader: no platform at all, it reads the bytes it is given.
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$source" \
  "$source/catalog/fuzz/read_catalog_fuzz.cc" \
  "$source/catalog/catalog_header.cc" \
  "$source/catalog/catalog_reader.cc" \
  "$source/catalog/entry_cursor.cc" \
  "$source/platform/platform.cc" \
  "$source/platform/message_sink.cc" \
  "$source/platform/mapped_file_posix.cc" \
  -o "$build/read_catalog_fuzz"

# The fuzzer adds what it finds to its corpus: a copy keeps the seeds in the tree as made.
cd "$build"
for target in read_header read_catalog; do
  corpus=$build/${target}_corpus
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp "$source"/catalog/fuzz/seeds/* "$corpus"/
  # A catalogue may claim more than it holds; the reader must never allocate for that, so
  # a small malloc limit catches it.
  ./${target}_fuzz -max_len=4096 -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=64 -print_final_stats=1 -artifact_prefix="$build/" "$corpus"
done
