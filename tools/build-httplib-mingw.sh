#!/usr/bin/env bash
# Puts cpp-httplib's header, whole, where the Windows (mingw-w64) build of `ledra` looks for
# it. Debian's libcpp-httplib-dev splits the header-only library into a header of
# declarations and a shared library built for Linux; the Windows build compiles the
# original single header from Debian's source package instead. Nothing is fetched from
# anywhere but Debian's archive.
#
#   tools/build-httplib-mingw.sh
#
# leaves include/httplib.h and the licence in third_party/httplib-mingw. LEDRA_DEPS_CACHE
# (default ~/.cache/ledra) keeps it per Debian version, so only the first run fetches.
set -euo pipefail
# shellcheck source=tools/debian-source.sh
. "$(dirname "$0")/debian-source.sh"
target="$repo/third_party/httplib-mingw"
prefix=$(cachedPrefix httplib-mingw libcpp-httplib-dev)
if [ -f "$prefix/include/httplib.h" ]; then
  copyPrefix "$prefix" "$target"
  exit 0
fi

buildQuietly "cpp-httplib for mingw-w64" "$prefix"
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
