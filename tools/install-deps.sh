#!/usr/bin/env bash
# Installs the Debian 12 packages that Ledra needs and that are missing:
#
#   tools/install-deps.sh [build|test]
#
# "build" covers building and running the programs; "test" (the default) adds what the
# tests of every configuration need: GoogleTest, the Windows cross build and Wine, clang
# for the sanitizers and the fuzzer, and the tools the tests call. It also asks for what
# only the benchmarks (bench/) use, but the tests do without those: where they cannot be
# installed, one line says what the benchmarks lack and the tests go on.
#
# Nothing is installed when nothing is missing, so neither root nor sudo is needed then.
# Missing packages are installed with apt-get as root, or through sudo where it exists;
# otherwise one line names them with the command that installs them, and the exit status
# is 1 (0 when only benchmark packages are missing).
set -euo pipefail

# Building and running LedraCmd (and the reader).
buildPackages=(
  g++ cmake ninja-build pkg-config
  libmount-dev libblkid-dev
  libcli11-dev libpcre2-dev libsqlite3-dev libutf8proc-dev
  libcpp-httplib-dev libxxhash-dev
)

# Testing, on top of the above.
testPackages=(
  libgtest-dev googletest
  g++-mingw-w64-x86-64-posix wine wine64
  clang libclang-rt-14-dev clang-format
  e2fsprogs mount util-linux strace locales ca-certificates groff-base
  sqlite3 ncdu python3
  # A PostgreSQL server of the export test's own.
  postgresql
  # The FUSE mirror that injects input/output errors (tools/fault_mirror.cc).
  libfuse3-dev fuse3
  # The page of `ledra serve` in a real browser.
  chromium chromium-driver python3-selenium
  # Building PCRE2 and SQLite for Windows from Debian's source packages.
  dpkg-dev tcl make gcc
)

# Only the benchmarks: plocate for bench/reader.sh, GNU time for bench/run.sh's memory
# figures (the latency rig's libfuse3 is among the test packages).
benchPackages=(plocate time)

mode=${1:-test}
case "$mode" in
  build) wanted=("${buildPackages[@]}") optional=() ;;
  test) wanted=("${buildPackages[@]}" "${testPackages[@]}") optional=("${benchPackages[@]}") ;;
  *)
    echo "usage: $0 [build|test]" >&2
    exit 2
    ;;
esac

# One query for all: the packages that dpkg knows as installed ("ii").
present=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${wanted[@]}" "${optional[@]}" \
  2>/dev/null | awk '$2 == "ii" { print $1 }' || true)
missing=() missingOptional=()
for package in "${wanted[@]}"; do
  grep -qxF "$package" <<<"$present" || missing+=("$package")
done
for package in "${optional[@]}"; do
  grep -qxF "$package" <<<"$present" || missingOptional+=("$package")
done

# PCRE2, SQLite, utf8proc and cpp-httplib's whole header for the Windows build, from
# Debian's source packages; the scripts keep what they built, so later runs only check.
build_windows_libraries() {
  [ "$mode" = test ] || return 0
  "$(dirname "$0")/build-pcre2-mingw.sh"
  "$(dirname "$0")/build-mingw-sqlite.sh"
  "$(dirname "$0")/build-httplib.sh"
  "$(dirname "$0")/build-mingw-utf8proc.sh"
}

# benchmarksWithout: the line that says which benchmark packages are missing, and how to
# install them.
benchmarksWithout() {
  echo "Not installed, needed by the benchmarks only (bench/; the tests go on without them):" \
    "${missingOptional[*]}; install them as root with: apt-get install -y" \
    "--no-install-recommends ${missingOptional[*]}"
}

# As another user than root, the benchmarks' packages are only named: they are not worth a
# password prompt in the middle of a test run.
if [ "$(id -u)" -ne 0 ] && [ ${#missingOptional[@]} -ne 0 ]; then
  benchmarksWithout
  missingOptional=()
fi
if [ ${#missing[@]} -eq 0 ] && [ ${#missingOptional[@]} -eq 0 ]; then
  build_windows_libraries
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "Missing Debian packages: ${missing[*]}; install them as root with:" \
    "apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing the missing Debian packages: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The benchmarks' packages on their own: where one cannot be installed (fuse3 in some
# containers), the tests still run.
if [ ${#missingOptional[@]} -ne 0 ]; then
  echo "Installing the benchmarks' missing Debian packages: ${missingOptional[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missingOptional[@]}" || benchmarksWithout
fi
build_windows_libraries
