#!/usr/bin/env bash
# Builds PCRE2 (8-bit, with its JIT, static) for the Windows cross build, from Debian's own
# source package: Debian ships PCRE2 for the native build only.
#
#   tools/build-pcre2-mingw.sh [PREFIX]   (default: third_party/pcre2-mingw)
#
# leaves include/pcre2.h and lib/libpcre2-8.a in PREFIX, where CMakeLists.txt looks for
# them (LEDRA_PCRE2_PREFIX). LEDRA_DEPS_CACHE (default ~/.cache/ledra) keeps the build per
# Debian version of libpcre2-dev, so a fresh clone only copies it.
set -euo pipefail
# shellcheck source=tools/debian-source.sh
. "$(dirname "$0")/debian-source.sh"
target=${1:-$repo/third_party/pcre2-mingw}
prefix=$(cachedPrefix pcre2-mingw libpcre2-dev)
if [ ! -f "$prefix/lib/libpcre2-8.a" ] || [ ! -f "$prefix/include/pcre2.h" ]; then
  buildQuietly "PCRE2 for mingw-w64" "$prefix"
  work=$prefix.work
  tree=$(fetchSource pcre2 libpcre2-dev "$work")
  version=$(sourceVersion "$work")
  cmake -S "$tree" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix.tmp" \
    -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF \
    -DPCRE2_BUILD_PCRE2_32=OFF -DPCRE2_SUPPORT_JIT=ON -DPCRE2_SUPPORT_UNICODE=ON \
    -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF
  cmake --build "$work/build" -- -j2
  rm -rf "$prefix.tmp"
  cmake --install "$work/build"
  rm -rf "$prefix"
  mv "$prefix.tmp" "$prefix"
  rm -rf "$work"
  buildDone "built from Debian's source package pcre2 $version and kept in $prefix"
fi
copyPrefix "$prefix" "$target"
