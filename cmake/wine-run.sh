#!/bin/sh
# Runs one Windows program (a test executable of the Windows build) under Wine and passes
# its exit status through:  wine-run.sh program.exe [arguments...]
#
# The Wine prefix is private to the build folder (the nearest folder above the program that
# holds CMakeCache.txt, or $LEDRA_WINE_PREFIX when set) and is created on first use. One
# wineserver is kept alive for the run, so the program starts only once, and is stopped at
# the end. Wine starts services that can keep inherited pipes open, so the program's output
# goes to files that are printed afterwards, never through a pipe. The program is stopped
# after $LEDRA_WINE_TIMEOUT seconds (default 1800). For the run, wine-drives.sh maps the
# drive letters the end-to-end tests catalogue (named to the program in $LEDRA_WINE_DRIVES).
#
# Run as root, the whole run goes without the capabilities that override file permissions,
# so that a folder of mode 000 is as unreadable to the tests as it is to an ordinary user.
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi

if [ "$(id -u)" = 0 ] && [ -z "${LEDRA_WINE_CAPS_DROPPED:-}" ] &&
   command -v setpriv >/dev/null 2>&1; then
  LEDRA_WINE_CAPS_DROPPED=1
  export LEDRA_WINE_CAPS_DROPPED
  exec setpriv --bounding-set=-dac_override,-dac_read_search \
    --inh-caps=-dac_override,-dac_read_search "$0" "$@"
fi

program=$1
shift
if [ ! -f "$program" ]; then
  echo "$0: no such program: $program" >&2
  exit 2
fi
programDir=$(cd "$(dirname "$program")" && pwd)

# A Windows program takes '/build/x.xml' for a path on its current drive; GoogleTest even
# puts it below its own folder. Wine's drive Z: is the Unix root, so 'Z:/build/x.xml'
# names the Unix file.
count=$#
while [ "$count" -gt 0 ]; do
  arg=$1
  shift
  count=$((count - 1))
  case $arg in
    --gtest_output=xml:/*) arg="--gtest_output=xml:Z:${arg#--gtest_output=xml:}" ;;
    --gtest_output=json:/*) arg="--gtest_output=json:Z:${arg#--gtest_output=json:}" ;;
  esac
  set -- "$@" "$arg"
done

buildDir=$programDir
while [ "$buildDir" != / ] && [ ! -f "$buildDir/CMakeCache.txt" ]; do
  buildDir=$(dirname "$buildDir")
done
[ -f "$buildDir/CMakeCache.txt" ] || buildDir=$programDir

WINEPREFIX=${LEDRA_WINE_PREFIX:-$buildDir/wineprefix}
WINEDEBUG=-all
WINEARCH=win64
# No Mono or Gecko: their installers would ask through a window nobody sees.
WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
export WINEPREFIX WINEDEBUG WINEARCH WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY

# A hung program must not hang the test run (ctest waits for ever by default).
limit=${LEDRA_WINE_TIMEOUT:-1800}

logDir=$buildDir/wine-run
mkdir -p "$logDir" || exit 2
out=$logDir/stdout.txt
err=$logDir/stderr.txt
bootLog=$logDir/wineboot.txt

stopServer() {
  wineserver -k >/dev/null 2>&1 9>&-
  wineserver -w >/dev/null 2>&1 9>&-
}

# The drive letters that the end-to-end tests catalogue, made by wine-drives.sh below.
drivesScript=$(cd "$(dirname "$0")" && pwd)/wine-drives.sh
drivesDir=$buildDir/wine-drives
undoDrives() {
  "$drivesScript" --undo "$WINEPREFIX" "$drivesDir" 9>&-
}

# A second run on the same prefix waits for the first one to end.
exec 9>"$WINEPREFIX.lock"
if command -v flock >/dev/null 2>&1; then
  flock 9
fi

trap 'stopServer; undoDrives; exit 130' INT TERM HUP
# A server left by a run that was killed would serve this run with stale state.
stopServer

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # wineboot brings its own server; waiting for it to end leaves the registry on disk.
  wineboot -i >"$bootLog" 2>&1 </dev/null 9>&-
  wineserver -w >/dev/null 2>&1 9>&-
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "$0: could not create the Wine prefix $WINEPREFIX:" >&2
    cat "$bootLog" >&2
    exit 2
  fi
fi

# Wine reads the drive links when its server starts, so they are made before; the program
# learns from LEDRA_WINE_DRIVES which letters are there.
LEDRA_WINE_DRIVES=$("$drivesScript" "$WINEPREFIX" "$drivesDir" </dev/null 9>&-)
export LEDRA_WINE_DRIVES

wineserver -p >"$logDir/wineserver.txt" 2>&1 </dev/null 9>&-

timeout --kill-after=10 "$limit" wine "$program" "$@" >"$out" 2>"$err" </dev/null 9>&-
status=$?
if [ $status = 124 ] || [ $status = 137 ]; then
  echo "$0: $program did not end within $limit seconds" >>"$err"
fi

stopServer
undoDrives
trap - INT TERM HUP

cat "$out"
cat "$err" >&2
exit $status
