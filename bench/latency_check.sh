#!/usr/bin/env bash
# Checks that a mount of the latency rig shows its source as it is: the same entries in the
# same listing order, with the same types, sizes, modification times and inode numbers.
#
#   bench/latency_check.sh SOURCE MOUNT
#
# Exit status 0 when both agree; 1, with the first differences, when they do not.
set -euo pipefail
export LC_ALL=C

if (($# != 2)); then
  echo "usage: $0 SOURCE MOUNT" >&2
  exit 2
fi
source=$1 mount=$2
listing() { find "$1" -printf '%y %s %T@ %i %P\n'; }

if ! differences=$(diff <(listing "$source") <(listing "$mount")); then
  echo "latency_check: $mount does not mirror $source (< source, > mount):" >&2
  head -20 <<<"$differences" >&2
  exit 1
fi
echo "latency_check: $mount mirrors $source: $(listing "$source" | wc -l) entries agree"
