# shellcheck shell=bash
# Shared by the scripts that build a library for the Windows cross build from Debian's own
# source package (build-pcre2-mingw.sh, build-mingw-sqlite.sh, build-mingw-utf8proc.sh);
# sourced, not run. Nothing is fetched from anywhere but Debian's archive. The built
# library is kept in the cache per Debian version of the native package, so only the first
# run on a machine builds; later runs copy.

# shellcheck disable=SC2034  # used by the scripts that source this one
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${LEDRA_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ledra}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# cachedPrefix NAME NATIVE_PACKAGE: the cache folder for NAME built at the version of
# NATIVE_PACKAGE that is installed, so that both builds behave alike.
cachedPrefix() {
  local version
  version=$(dpkg-query -W -f '${Version}' "$2" 2>/dev/null || true)
  [ -n "$version" ] || { echo "$2 is not installed (tools/install-deps.sh)" >&2; exit 1; }
  echo "$cache/$1-${version//[^A-Za-z0-9.+-]/_}"
}

# copyPrefix PREFIX TARGET: puts the cached build where the Windows build looks for it.
copyPrefix() {
  rm -rf "$2"
  mkdir -p "$(dirname "$2")"
  cp -R "$1" "$2"
}

# buildQuietly NAME PREFIX: from here on the script's output goes to PREFIX.log, which is
# kept; the script's end prints one line, its own (through buildDone) when it succeeds,
# else one naming the log, followed by the log's last lines for a run whose files are out
# of reach (CI). Fetching a source package passes through "404 Not Found" on the way to a
# version the archive serves: that noise stays in the log.
buildQuietly() {
  buildName=$1
  buildLog=$2.log
  mkdir -p "$(dirname "$buildLog")"
  exec 3>&1 4>&2 >"$buildLog" 2>&1
  trap buildEnded EXIT
}

buildEnded() {
  local status=$?
  [ $status -eq 0 ] && return
  echo "$buildName: the build failed (status $status); the whole log: $buildLog" >&4
  tail -n 15 "$buildLog" | sed "s/^/  /" >&4
}

# buildDone TEXT: the one line that says what was built.
buildDone() { echo "$buildName: $1 (log: $buildLog)" >&3; }

# sourceVersion WORK: the Debian version of the source package that fetchSource unpacked.
sourceVersion() {
  local dsc
  dsc=$(find "$1" -maxdepth 1 -name '*.dsc' | head -n 1)
  dsc=${dsc##*/}
  dsc=${dsc#*_}
  echo "${dsc%.dsc}"
}

# A deb-src entry beside the deb entries of the suites the system installs from.
ensureDebSrc() {
  if grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local list=/etc/apt/sources.list.d/debian.sources
  [ -f "$list" ] || { echo "no $list to derive deb-src entries from" >&2; exit 1; }
  if [ -n "$SUDO" ] && ! command -v sudo >/dev/null 2>&1; then
    echo "apt has no deb-src entry, and adding one needs root: run $0 once as root" >&2
    exit 1
  fi
  sed -n 's/^Types: deb$/Types: deb-src/p; /^Types:/!p' "$list" |
    $SUDO tee /etc/apt/sources.list.d/ledra-deb-src.sources >/dev/null
  $SUDO apt-get update >&2
}

# fetchSource SOURCE_PACKAGE NATIVE_PACKAGE WORK: unpacks the source package into the fresh
# folder WORK and prints its tree. The native package's version where the archive serves
# it; else (a deb-src entry without the security suite) the newest it serves.
fetchSource() {
  local version other tree
  version=$(dpkg-query -W -f '${Version}' "$2")
  ensureDebSrc
  rm -rf "$3"
  mkdir -p "$3"
  if ! (cd "$3" && apt-get source -q "$1=$version" >&2); then
    for other in $(apt-cache showsrc "$1" | awk '/^Version:/ { print $2 }' | sort -rV); do
      (cd "$3" && apt-get source -q "$1=$other" >&2) && break
    done
  fi
  tree=$(find "$3" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1)
  [ -n "$tree" ] || { echo "apt-get source $1 left no source folder in $3" >&2; exit 1; }
  echo "$tree"
}
