#!/bin/sh
# Checks the scheduling examples beside this script against a built LedraCmd:
#
#   scheduling_test.sh path/to/LedraCmd
#
# The crontab line runs as written (nice, ionice and all) with the program and parameter
# file paths replaced by test ones, and must catalogue a small tree. The systemd service and
# timer, with the same paths replaced, must pass systemd-analyze verify without a word;
# without systemd-analyze that part is skipped (exit status 77, the reason on stdout).
set -euf  # -f: the crontab fields hold '*', which must not expand

if [ $# -ne 1 ]; then
  echo "usage: $0 path/to/LedraCmd" >&2
  exit 2
fi
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
examples=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/ledra-scheduling-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/tree"
echo data >"$work/tree/file.txt"
printf '#DEV %s,Tree\n' "$work/tree" >"$work/params.txt"

# Points an example at the test's program and parameter file.
localise() {
  sed -e "s|/usr/local/bin/LedraCmd|$program|g" -e "s|/var/lib/ledra/params.txt|$work/params.txt|g" "$1"
}

cronLine=$(localise "$examples/ledra.crontab" | grep -v '^[[:space:]]*#' | grep -v '^[[:space:]]*$')
if [ "$(printf '%s\n' "$cronLine" | wc -l)" -ne 1 ]; then
  echo "FAIL: ledra.crontab must hold exactly one entry"
  exit 1
fi
fields=$(printf '%s\n' "$cronLine" | awk '{ print $1, $2, $3, $4, $5 }')
command=$(printf '%s\n' "$cronLine" | cut -d' ' -f6-)
for field in $fields; do
  case $field in
    *[!0-9*,/-]*)
      echo "FAIL: '$field' is no crontab time field"
      exit 1
      ;;
  esac
done
if ! sh -c "$command"; then
  echo "FAIL: the crontab command failed: $command"
  exit 1
fi
if [ ! -s "$work/Tree.kvl" ]; then
  echo "FAIL: the crontab command wrote no catalogue: $command"
  exit 1
fi

if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "systemd-analyze is missing (Debian package systemd): ledra.service and ledra.timer" \
    "were not verified; the crontab line was"
  exit 77
fi
# The service names its manual page, which systemd-analyze looks up: the one of the sources.
mkdir -p "$work/units" "$work/man/man1"
ln -s "$examples/../docs/LedraCmd.1" "$work/man/man1/LedraCmd.1"
MANPATH=$work/man
export MANPATH
localise "$examples/ledra.service" >"$work/units/ledra.service"
cp "$examples/ledra.timer" "$work/units/ledra.timer"
if ! report=$(systemd-analyze verify "$work/units/ledra.service" "$work/units/ledra.timer" 2>&1) ||
  [ -n "$report" ]; then
  echo "FAIL: systemd-analyze verify:"
  echo "$report"
  exit 1
fi
echo "the crontab line catalogued a tree; ledra.service and ledra.timer verified"
