#!/usr/bin/env bash
# Installs what building and testing Ledra needs on Debian 12, for both platforms.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++ cmake ninja-build pkg-config libgtest-dev googletest \
  g++-mingw-w64-x86-64-posix wine wine64 \
  libmount-dev libblkid-dev e2fsprogs mount util-linux time \
  clang libclang-rt-14-dev ca-certificates \
  libcli11-dev libpcre2-dev plocate \
  libsqlite3-dev sqlite3 ncdu tcl dpkg-dev make gcc
# PCRE2 and SQLite for the Windows build, from Debian's source packages (cached after the
# first run).
"$(dirname "$0")/build-pcre2-mingw.sh"
"$(dirname "$0")/build-mingw-sqlite.sh"
