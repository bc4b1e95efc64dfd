#!/usr/bin/env bash
# Puts cpp-httplib's header, whole, where both builds of `ledra` look for it. Debian's
# libcpp-httplib-dev splits the header-only library into a header of declarations and a
# shared library built with OpenSSL, brotli and zlib, which every start of `ledra` would
# load and initialise (about 10 ms) although `ledra serve` only speaks plain HTTP on
# loopback; the Windows build has no such library at all. So both compile the original
# single header from Debian's source package. Nothing is fetched from anywhere but
# Debian's archive.
#
#   tools/build-httplib.sh
#
# leaves include/httplib.h and the licence in third_party/httplib. LEDRA_DEPS_CACHE
# (default ~/.cache/ledra) keeps it per Debian version, so only the first run fetches.
set -euo pipefail
# shellcheck source=tools/debian-source.sh
. "$(dirname "$0")/debian-source.sh"
target="$repo/third_party/httplib"
prefix=$(cachedPrefix httplib libcpp-httplib-dev)
if [ -f "$prefix/include/httplib.h" ]; then
  copyPrefix "$prefix" "$target"
  exit 0
fi

buildQuietly "cpp-httplib's whole header" "$prefix"
work="$prefix.work"
src=$(fetchSource cpp-httplib libcpp-httplib-dev "$work")
version=$(sourceVersion "$work")
# The library is its header: the source package's httplib.h holds declarations and code.
grep -q 'inline bool Server::listen_after_bind' "$src/httplib.h"
mkdir -p "$prefix.tmp/include"
cp "$src/httplib.h" "$prefix.tmp/include/"
cp "$src/LICENSE" "$prefix.tmp/"
rm -rf "$prefix"
mv "$prefix.tmp" "$prefix"
rm -rf "$work"
copyPrefix "$prefix" "$target"
buildDone "taken from Debian's source package cpp-httplib $version and kept in $prefix"
