#!/usr/bin/env bash
# Installs the Debian 12 packages that Ledra needs and that are missing:
#
#   tools/install-deps.sh [build|test]
#
# "build" covers building and running the programs; "test" (the default) adds what the
# tests of every configuration need: GoogleTest, the Windows cross build and Wine, clang
# for the sanitizers and the fuzzer, and the tools the tests call.
#
# Nothing is installed when nothing is missing, so neither root nor sudo is needed then.
# Missing packages are installed with apt-get as root, or through sudo where it exists;
# otherwise one line names them with the command that installs them, and the exit status
# is 1.
set -euo pipefail

# Building and running LedraCmd (and the reader).
buildPackages=(
  g++ cmake ninja-build pkg-config
  libmount-dev libblkid-dev
  libcli11-dev libpcre2-dev libsqlite3-dev
)

# Testing, on top of the above.
testPackages=(
  libgtest-dev googletest
  g++-mingw-w64-x86-64-posix wine wine64
  clang libclang-rt-14-dev clang-format
  e2fsprogs mount util-linux time strace locales ca-certificates groff-base
  sqlite3 ncdu plocate python3
  # The benchmark's latency rig (bench/latency_mirror.cc): libfuse3 and fusermount3.
  libfuse3-dev fuse3
  # Building PCRE2 and SQLite for Windows from Debian's source packages.
  dpkg-dev tcl make gcc
)

mode=${1:-test}
case "$mode" in
  build) wanted=("${buildPackages[@]}") ;;
  test) wanted=("${buildPackages[@]}" "${testPackages[@]}") ;;
  *)
    echo "usage: $0 [build|test]" >&2
    exit 2
    ;;
esac

# One query for all: the packages that dpkg knows as installed ("ii").
present=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${wanted[@]}" 2>/dev/null |
  awk '$2 == "ii" { print $1 }' || true)
missing=()
for package in "${wanted[@]}"; do
  grep -qxF "$package" <<<"$present" || missing+=("$package")
done

# PCRE2 and SQLite for the Windows build, from Debian's source packages; both scripts keep
# what they built, so later runs only check.
build_windows_libraries() {
  [ "$mode" = test ] || return 0
  "$(dirname "$0")/build-pcre2-mingw.sh"
  "$(dirname "$0")/build-mingw-sqlite.sh"
}
if [ ${#missing[@]} -eq 0 ]; then
  build_windows_libraries
  exit 0
fi

install=(apt-get install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "Missing Debian packages: ${missing[*]}; install them as root with:" \
    "apt-get update && ${install[*]}" >&2
  exit 1
fi
echo "Installing the missing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive "${install[@]}"
build_windows_libraries
