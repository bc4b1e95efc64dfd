#!/usr/bin/env bash
# Builds utf8proc (static) for the Windows cross build from Debian's own source package:
# Debian ships it for the native build only. `ledra` folds the case of names with it.
#
#   tools/build-mingw-utf8proc.sh
#
# leaves include/utf8proc.h and lib/libutf8proc.a in third_party/utf8proc-mingw, where
# CMakeLists.txt looks for them (LEDRA_UTF8PROC_PREFIX); kept per Debian version of
# libutf8proc-dev in LEDRA_DEPS_CACHE, so a fresh clone only copies it.
set -euo pipefail
# shellcheck source=tools/debian-source.sh
. "$(dirname "$0")/debian-source.sh"
target="$repo/third_party/utf8proc-mingw"
prefix=$(cachedPrefix utf8proc-mingw libutf8proc-dev)
if [ -f "$prefix/lib/libutf8proc.a" ] && [ -f "$prefix/include/utf8proc.h" ]; then
  copyPrefix "$prefix" "$target"
  exit 0
fi

buildQuietly "utf8proc for mingw-w64" "$prefix"
work="$prefix.work"
src=$(fetchSource utf8proc libutf8proc-dev "$work")
version=$(sourceVersion "$work")

# The library is one C file (its tables are included by it): no build system needed.
cc=x86_64-w64-mingw32-gcc-posix
mkdir -p "$prefix.tmp/include" "$prefix.tmp/lib"
$cc -O2 -DUTF8PROC_STATIC -c "$src/utf8proc.c" -o "$work/utf8proc-mingw.o"
x86_64-w64-mingw32-ar rcs "$prefix.tmp/lib/libutf8proc.a" "$work/utf8proc-mingw.o"
cp "$src/utf8proc.h" "$prefix.tmp/include/"
rm -rf "$prefix"
mv "$prefix.tmp" "$prefix"
rm -rf "$work"
copyPrefix "$prefix" "$target"
buildDone "built from Debian's source package utf8proc $version and kept in $prefix"
