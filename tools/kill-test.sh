#!/usr/bin/env bash
# Kills LedraCmd runs on purpose and checks that a volume never loses its catalogue.
#
#   tools/kill-test.sh [BUILD_DIR] [RANDOM_KILLS]      (defaults: build-dev 200)
#
# BUILD_DIR must hold LedraCmd and ledra_catalog_check (a native build with the tests).
# Two scenarios: the catalogue keeps its file name (the common case), and the catalogue
# moves to a new name (its earlier file is called Old.kvl). In each, runs are killed
#   - at random moments (SIGKILL after a random delay within the length of a run), and
#   - deliberately at every link, rename, unlink and fsync call of a run, one at a time
#     (strace injects SIGKILL on the n-th such call, for n = 1, 2, ... until a run ends).
# After every kill a complete catalogue with its comment and alias must be there (read by
# the project's strict full reader); after the next normal run it must still be there and
# no temporary file may be left. Needs strace for the deliberate kills.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-dev}
randomKills=${2:-200}
cmd=$(realpath "$build/LedraCmd")
check=$(realpath "$build/ledra_catalog_check")
[ -x "$cmd" ] && [ -x "$check" ] || { echo "build $build first (LedraCmd, ledra_catalog_check)" >&2; exit 2; }

work=$(mktemp -d /tmp/ledra-kill-XXXXXX)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
cats=$work/cats
mkdir -p "$tree" "$cats"
for d in $(seq 1 60); do
  mkdir -p "$tree/d$d/e$((d % 7))"
  for f in $(seq 1 25); do : > "$tree/d$d/f$f"; done
  : > "$tree/d$d/e$((d % 7))/leaf"
done
printf '#DEV %s,Data\n' "$tree" > "$cats/params.txt"

comment="kill me if you can"
kills=0
failures=0

fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# A complete catalogue of the volume, with comment and alias, under one of its names.
catalogue_present() {
  local f
  for f in "$cats"/*.kvl; do
    [ -e "$f" ] && "$check" "$f" "$comment" Data 2>/dev/null && return 0
  done
  return 1
}

normal_run() {
  "$cmd" -f "$cats/params.txt" > /dev/null 2> "$work/err" || fail "normal run: status $?"
  grep -q . "$work/err" && fail "normal run said: $(cat "$work/err")"
  catalogue_present || fail "no complete catalogue after a normal run ($(ls "$cats"))"
  [ -z "$(ls "$cats" | grep '\.tmp\.')" ] || fail "temporary files left: $(ls "$cats")"
}

# Sets the scenario up again: a catalogue with the comment, under Data.kvl or Old.kvl.
prepare() {
  local scenario=$1
  rm -f "$cats"/*.kvl* 2>/dev/null
  "$cmd" -f "$cats/params.txt" > /dev/null 2>&1
  "$check" --comment "$cats/Data.kvl" "$comment" || fail "cannot set the comment"
  rm -f "$cats/Data.kvl.bak"
  [ "$scenario" = moved ] && mv "$cats/Data.kvl" "$cats/Old.kvl"
  return 0
}

after_kill() {
  kills=$((kills + 1))
  catalogue_present || fail "$1: no complete catalogue after the kill ($(ls "$cats"))"
  normal_run
}

# Random moments: how long does a run take?
start=$(date +%s%N)
prepare same
"$cmd" -f "$cats/params.txt" > /dev/null 2>&1
runMicros=$(( ($(date +%s%N) - start) / 1000 / 2 + 1000 ))

for scenario in same moved; do
  for i in $(seq 1 "$randomKills"); do
    prepare "$scenario"
    "$cmd" -f "$cats/params.txt" > /dev/null 2>&1 &
    pid=$!
    sleep "$(printf '0.%06d' $((RANDOM * 32768 % runMicros + RANDOM % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    after_kill "$scenario random kill $i"
  done

  deliberate=0
  if command -v strace > /dev/null; then
    for call in link rename,renameat,renameat2 unlink,unlinkat fsync; do
      for n in $(seq 1 50); do
        prepare "$scenario"
        strace -f -o /dev/null -e "inject=$call:signal=KILL:when=$n" \
          "$cmd" -f "$cats/params.txt" > /dev/null 2>&1 &
        wait $! 2>/dev/null
        status=$?
        [ "$status" -eq 0 ] && break  # the run had fewer such calls: all were tried
        deliberate=$((deliberate + 1))
        after_kill "$scenario: kill at $call #$n"
      done
    done
  else
    echo "strace is missing: no deliberate kills" >&2
  fi
  echo "$scenario name: $randomKills random kills, $deliberate deliberate kills"
done

echo "kills: $kills, failures: $failures"
[ "$failures" -eq 0 ]
