#!/usr/bin/env bash
# Builds PCRE2 (8-bit, with its JIT, static) for the Windows cross build, from Debian's own
# source package: Debian ships PCRE2 for the native build only. Nothing is downloaded from
# anywhere but Debian's archive; the sources and the result are cached, so a second run
# does nothing.
#
#   tools/build-pcre2-mingw.sh [PREFIX]   (default: third_party/pcre2-mingw)
#
# The sources land in third_party/src (both folders are ignored by git). CMakeLists.txt
# finds the result through LEDRA_PCRE2_PREFIX, which defaults to the same folder.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$repo/third_party/pcre2-mingw}
sources=$repo/third_party/src
if [ -f "$prefix/lib/libpcre2-8.a" ] && [ -f "$prefix/include/pcre2.h" ]; then
  echo "PCRE2 for mingw-w64 is ready in $prefix"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
# A deb-src entry for the suites the machine already uses.
list=/etc/apt/sources.list.d/ledra-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  $SUDO tee "$list" >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  $SUDO apt-get update
fi

mkdir -p "$sources"
tree=$(find "$sources" -maxdepth 1 -type d -name 'pcre2-*' | sort | tail -n 1)
if [ -z "$tree" ]; then
  # The newest version the archive serves; a mirror without the security suite's sources
  # leaves the one of the release itself. Nothing else is ever fetched.
  for version in $(apt-cache showsrc pcre2 | awk '/^Version:/ { print $2 }' | sort -rV); do
    (cd "$sources" && apt-get source "pcre2=$version") && break
  done
  tree=$(find "$sources" -maxdepth 1 -type d -name 'pcre2-*' | sort | tail -n 1)
fi
[ -n "$tree" ] || { echo "build-pcre2-mingw.sh: apt-get source pcre2 gave no source tree" >&2; exit 1; }

build=$sources/pcre2-mingw-build
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF \
  -DPCRE2_BUILD_PCRE2_32=OFF -DPCRE2_SUPPORT_JIT=ON -DPCRE2_SUPPORT_UNICODE=ON \
  -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF
cmake --build "$build" -- -j2
cmake --install "$build"
echo "PCRE2 for mingw-w64 installed in $prefix"
