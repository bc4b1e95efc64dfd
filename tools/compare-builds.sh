#!/usr/bin/env bash
# Shows that two builds of Ledra behave alike: both LedraCmd programs catalogue the same
# trees (twice, so that backups and a diff exist), and their catalogues must be equal byte
# for byte but for the time written and the free space, which no two runs share; then both
# `ledra` programs answer the same questions, in every output form, on the same catalogues,
# and their standard output, standard error and exit status must be equal.
#
#   tools/compare-builds.sh OLD_BUILD_DIR NEW_BUILD_DIR
#
# Meant for a change that must not alter behaviour (a restructuring): build the commit
# before it in one folder and the change in another, and run this. Exit status 1 names
# every difference.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 old-build-dir new-build-dir" >&2
  exit 2
fi
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C.UTF-8

# The trees: a copy of the sources, names that are hostile on a terminal or in CSV, and a
# file beyond 2 GiB (sparse) so that version 5's clamped sizes show.
tree=$work/tree
mkdir -p "$tree/src" "$tree/odd/deeper"
cp -r "$source/catalog" "$source/query" "$tree/src/"
printf x >"$tree/odd/$(printf 'new\nline.txt')"
printf x >"$tree/odd/$(printf 'esc\033[31mred')"
printf x >"$tree/odd/$(printf 'bad\377utf8')"
printf 'a,b' >"$tree/odd/comma,\"quote\".csv"
truncate -s 3G "$tree/odd/deeper/big.img"
cp "$tree/odd/comma,\"quote\".csv" "$tree/src/copy.csv"
touch -d @1500000000 "$tree/src/copy.csv"

# catalogue BUILD FOLDER: two runs of BUILD's LedraCmd into FOLDER, the tree changed between.
catalogue() {
  local build=$1 folder=$2
  mkdir -p "$folder"
  cat >"$folder/params.txt" <<EOF
#IGN *.o \\fuzz
#DEV $tree/src,Sources
#IGN
#DEV $tree/odd,Odd
EOF
  "$build/LedraCmd" -f "$folder/params.txt" >"$folder/out" 2>"$folder/err"
  echo $? >"$folder/status1"
  # The changed file gets the same time in both builds' runs, whenever they happen.
  printf y >>"$tree/src/copy.csv"
  touch -d @1600000000 "$tree/src/copy.csv"
  "$build/LedraCmd" -f "$folder/params.txt" >>"$folder/out" 2>>"$folder/err"
  echo $? >"$folder/status2"
  truncate -s 3 "$tree/src/copy.csv"
  touch -d @1500000000 "$tree/src/copy.csv"
}

differences=0
differ() {
  echo "DIFFERS: $*"
  differences=$((differences + 1))
}

catalogue "$old" "$work/old"
catalogue "$new" "$work/new"
for f in out err status1 status2; do
  cmp -s "$work/old/$f" "$work/new/$f" || differ "LedraCmd $f"
done
# Catalogues, the time written (bytes 6 to 9) and free space masked.
python3 - "$work/old" "$work/new" <<'EOF' || differ "catalogue bytes"
import os, sys
def masked(path):
    b = bytearray(open(path, 'rb').read())
    b[6:10] = b'\0' * 4
    at = 10
    for _ in range(3):
        at = b.index(0, at) + 1
    at += 4
    at = b.index(0, at) + 1
    b[at:at + 4] = b'\0' * 4
    return bytes(b)
old, new = sys.argv[1:]
names = sorted(n for n in os.listdir(old) if '.kvl' in n)
if names != sorted(n for n in os.listdir(new) if '.kvl' in n) or not names:
    print('catalogue files differ:', names, sorted(os.listdir(new)))
    sys.exit(1)
bad = [n for n in names if masked(os.path.join(old, n)) != masked(os.path.join(new, n))]
if bad:
    print('catalogues differ:', bad)
    sys.exit(1)
print('catalogues equal:', ', '.join(names))
EOF

# Every question, asked of the same catalogues by both readers.
questions=(
  "volumes" "volumes --json" "volumes --csv" "volumes --bytes" "volumes --backups"
  "find" "find o" "find --json o" "find --csv o" "find -0 o" "find --count o"
  "find --regex ^c.*h$" "find --path src/catalog" "find --type d" "find --size +1G"
  "find --size -10" "find --newer 2000-01-01" "find --older 2000-01-01" "find --limit 3 c"
  "find --volume Odd" "find *.cc" "find [a-c]*.h" "find nothing-matches-this"
  "find --encoding cp1252 bad" "find --volume Nobody x"
  "ls Sources" "ls Sources:/catalog" "ls --json Odd" "ls --csv Odd" "ls --bytes Odd:/deeper"
  "ls --sort size Sources" "ls --sort time Sources" "ls Nobody" "ls Sources:/missing"
  "du Sources" "du -d 3 Sources" "du --json Odd" "du --csv Odd" "du --bytes Odd"
  "diff Sources" "diff --json Sources" "diff --csv Sources" "diff --top 1 Sources"
  "diff Sources.kvl Sources.kvl.bak" "dupes" "dupes --min-size 0" "dupes --by size --min-size 0"
  "dupes --json --min-size 0" "dupes --csv --min-size 0" "dupes --mtime --min-size 0"
  "unique Odd" "unique --json Sources" "unique --csv Odd" "unique --min-size 1K Sources"
  "export --format csv Odd" "export --format jsonl Odd" "export --format ncdu Odd"
  "export --format csv Nobody" "" "nonsense" "find --json --csv x" "ls"
)
# ask QUESTION: both readers answer; true when they answer alike.
ask() {
  local side
  for side in old new; do
    # shellcheck disable=SC2086
    (cd "$work/new" && "${!side}/ledra" $1 >"$work/q.$side.out" 2>"$work/q.$side.err"
      echo $? >"$work/q.$side.status")
  done
  for f in out err status; do
    cmp -s "$work/q.old.$f" "$work/q.new.$f" || return 1
  done
}
for q in "${questions[@]}"; do
  # "volumes" says how long ago each catalogue was written: a second may pass between
  # the two answers, so a question is asked up to three times.
  ask "$q" || ask "$q" || ask "$q" || differ "ledra $q"
done
# An sqlite export, compared by its rows.
for side in old new; do
  (cd "$work/new" && "${!side}/ledra" export --format sqlite -o "$work/$side.db" Sources >/dev/null 2>&1)
done
if command -v sqlite3 >/dev/null; then
  for side in old new; do
    sqlite3 "$work/$side.db" .dump >"$work/$side.sql" 2>&1
  done
  cmp -s "$work/old.sql" "$work/new.sql" || differ "ledra export --format sqlite"
fi

echo "${#questions[@]} questions asked of both readers; $differences differences"
[ $differences -eq 0 ]
