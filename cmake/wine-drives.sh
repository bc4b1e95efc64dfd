#!/bin/sh
# Gives a Wine prefix the drive letters the Windows end-to-end tests catalogue, made from
# plain folders (and a tmpfs) below DRIVES_DIR:
#   wine-drives.sh PREFIX DRIVES_DIR          sets them up, prints the letters it set up
#   wine-drives.sh --undo PREFIX DRIVES_DIR   unmounts the tmpfs, removes the drive links
#
#   D:  fixed drive, label DATA, serial 1234ABCD, a small tree with Photos\Summer
#   E:  fixed drive without label (Wine then names no label and makes the serial from the
#       letter; a serial file is given so that the serial is known all the same)
#   N:  network drive, label NETLBL, serial 2468ACE0, with a sub-folder Work
#   F:  CD-ROM drive on a 1 MiB tmpfs filled until no byte is free, label DISC, serial
#       CD00CD00; G: is the same full tmpfs as a fixed drive
#   H:  fixed drive without label (on a tmpfs where one can be mounted) holding a whole
#       disk in small: sparse files of 3 GiB, 4 GiB + 100 bytes and 5 GiB in Large, and
#       65,537 folders with the root (app/end_to_end_support.h, RunsBeyondVersion5)
#
# Wine takes a drive's label and serial from the files .windows-label and .windows-serial
# (hex) in its root, for fixed, network and CD-ROM drives alike, and its type from
# HKLM\Software\Wine\Drives. Its mount manager reads the drive links when it starts, so
# this runs while no wineserver serves the prefix. A drive letter the prefix already maps
# elsewhere is left alone and not reported. Mounting the tmpfs needs root; without it F:
# and G: are left out and a message says so. Messages go to standard error; standard
# output carries only the letters set up (e.g. "DENFG").
set -u

undo=
if [ "${1:-}" = --undo ]; then
  undo=1
  shift
fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [--undo] PREFIX DRIVES_DIR" >&2
  exit 2
fi
prefix=$1
drivesDir=$2
devices=$prefix/dosdevices
disc=$drivesDir/disc
many=$drivesDir/many

# Whether the link for drive $1 is one this script made (it points below DRIVES_DIR).
ours() {
  target=$(readlink "$devices/$1:" 2>/dev/null) || return 1
  case $target in
    "$drivesDir"/*) return 0 ;;
  esac
  return 1
}

removeLinks() {
  for letter in d e n l f g h; do
    if ours "$letter"; then rm -f "$devices/$letter:"; fi
  done
}

unmountDisc() {
  for point in "$disc" "$many"; do
    if mountpoint -q "$point" 2>/dev/null; then
      umount "$point" || echo "$0: cannot unmount $point" >&2
    fi
  done
}

if [ -n "$undo" ]; then
  removeLinks
  unmountDisc
  exit 0
fi

if [ ! -d "$devices" ]; then
  echo "$0: $prefix is not a Wine prefix (no dosdevices)" >&2
  exit 2
fi

# What a killed run left behind goes first: the trees are made afresh every time, so that
# files a test left on a drive never reach the next run.
removeLinks
unmountDisc
mkdir -p "$drivesDir" || exit 2
rm -rf "$drivesDir/data" "$drivesDir/blank" "$drivesDir/net" "$drivesDir/long" "$many"

# Writes $2 into the file $1 (its folders made on the way), without a line end.
put() {
  mkdir -p "$(dirname "$1")" && printf '%s' "$2" >"$1"
}

put "$drivesDir/data/.windows-label" DATA
put "$drivesDir/data/.windows-serial" 1234ABCD
put "$drivesDir/data/top.txt" "a file in the root"
put "$drivesDir/data/Photos/Summer/beach.jpg" "sand and sea, not really a picture"
put "$drivesDir/data/Photos/Summer/Evening/sunset.jpg" "red"
put "$drivesDir/data/Photos/winter.jpg" "snow"
put "$drivesDir/data/Docs/readme.txt" "read me"
mkdir -p "$drivesDir/data/Empty"

put "$drivesDir/blank/.windows-serial" 0E0E0E0E
put "$drivesDir/blank/a.txt" "a"
put "$drivesDir/blank/sub/b.txt" "bb"

put "$drivesDir/net/.windows-label" NETLBL
put "$drivesDir/net/.windows-serial" 2468ACE0
put "$drivesDir/net/root.txt" "on the share"
put "$drivesDir/net/Work/plan.txt" "the plan"
put "$drivesDir/net/Work/Old/notes.txt" "old notes"

# Maps drive $1 to folder $2 unless the prefix maps that letter to something of its own.
letters=
link() {
  if [ -e "$devices/$1:" ] || [ -L "$devices/$1:" ]; then
    echo "$0: drive $1: is already mapped in $prefix; the tests that need it are skipped" >&2
    return 1
  fi
  ln -s "$2" "$devices/$1:" || return 1
  letters=$letters$(printf '%s' "$1" | tr '[:lower:]' '[:upper:]')
}

link d "$drivesDir/data"
link e "$drivesDir/blank"
link n "$drivesDir/net"

# A label of 33 characters, as NTFS allows, longer than the 31 bytes a catalogue keeps.
put "$drivesDir/long/.windows-label" "Summer photographs 2023 of us all"
put "$drivesDir/long/.windows-serial" 10A6BE11
put "$drivesDir/long/beach.jpg" "sand"
link l "$drivesDir/long"

# No label, so that the root holds the tree alone. The folders are made here, on the Unix
# side: Wine looks every new name up without regard to case, which makes filling one folder
# with tens of thousands of names from a Windows program take quadratic time.
mkdir -p "$many"
mount -t tmpfs -o size=64m,nr_inodes=200k,mode=755 ledra-many "$many" 2>/dev/null ||
  echo "$0: no tmpfs for drive H: (not root?); its 65,535 folders go to a plain folder" >&2
if (cd "$many" && mkdir Large && truncate -s 3G Large/large-3221225472 &&
    truncate -s 4294967396 Large/large-4294967396 && truncate -s 5G Large/large-5368709120 &&
    mkdir -p nest/inner/innermost && printf 0123456789 >nest/inner/innermost/deepest.txt &&
    seq 1 65532 | xargs mkdir); then
  link h "$many"
else
  echo "$0: could not fill $many; no drive H:" >&2
fi

# A CD-ROM without a byte free. Once full, the tmpfs reports 0 free blocks, which is
# checked rather than trusted.
mkdir -p "$disc"
if mount -t tmpfs -o size=1m,mode=755 ledra-disc "$disc" 2>"$drivesDir/mount.txt"; then
  put "$disc/.windows-label" DISC
  put "$disc/.windows-serial" CD00CD00
  put "$disc/disc.txt" "on the disc"
  dd if=/dev/zero of="$disc/fill" bs=4096 2>/dev/null
  if [ "$(stat -f -c %f "$disc")" = 0 ]; then
    link f "$disc"
    link g "$disc"
  else
    echo "$0: the tmpfs at $disc still has free blocks; no full CD-ROM drive F:" >&2
    umount "$disc"
  fi
else
  echo "$0: cannot mount a tmpfs at $disc ($(tr -s '\n' ' ' <"$drivesDir/mount.txt")); no drives F: and G:" >&2
fi

# Drive types live in the registry. Importing them costs a Wine start, so it happens only
# when the prefix lacks them; regedit brings its own wineserver, stopped before returning.
section=$(awk '/^\[Software\\\\Wine\\\\Drives\]/ { inside = 1; next }
               /^\[/ { inside = 0 }
               inside' "$prefix/system.reg" 2>/dev/null)
if ! printf '%s\n' "$section" | grep -qx '"n:"="network"' ||
   ! printf '%s\n' "$section" | grep -qx '"f:"="cdrom"'; then
  reg=$drivesDir/drives.reg
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\r\n"n:"="network"\r\n"f:"="cdrom"\r\n' \
    >"$reg"
  WINEPREFIX=$prefix wine regedit "$reg" >"$drivesDir/regedit.txt" 2>&1 </dev/null
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1
  section=$(awk '/^\[Software\\\\Wine\\\\Drives\]/ { inside = 1; next }
                 /^\[/ { inside = 0 }
                 inside' "$prefix/system.reg" 2>/dev/null)
  if ! printf '%s\n' "$section" | grep -qx '"n:"="network"'; then
    echo "$0: could not record the drive types in $prefix; no drives N: and F:" >&2
    ours n && rm -f "$devices/n:"
    ours f && rm -f "$devices/f:"
    letters=$(printf '%s' "$letters" | tr -d NF)
  fi
fi

printf '%s\n' "$letters"
