#!/usr/bin/env bash
# `ledra serve` under search-as-you-type load: ten catalogues of a million entries each
# (bench/make_catalogs, as bench/reader.sh makes them), one server on loopback, then
# bench/serve_load.py with 1 client and with 50 at once: first with no index (each request
# scans the catalogues as `ledra find --limit` does), then with the catalogues indexed by
# `ledra index` into a folder of the benchmark's own (LEDRA_INDEX_DIR).
#
#   bench/serve_load.sh [--entries N] [--words K] [--skip-build]
#
# Environment: BENCH_DIR (default /tmp/ledra-bench), BUILD_DIR (default <repo>/build-bench).
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ENTRIES=1000000
WORDS=2
SKIP_BUILD=0
BENCH_DIR=${BENCH_DIR:-/tmp/ledra-bench}
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
while (($# > 0)); do
  case $1 in
    --entries) ENTRIES=$2; shift 2 ;;
    --words) WORDS=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    *) echo "usage: $0 [--entries N] [--words K] [--skip-build]" >&2; exit 2 ;;
  esac
done
if [[ $SKIP_BUILD != 1 ]]; then
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_BENCH=ON \
    -DLEDRA_TESTS=OFF >/dev/null
  cmake --build "$BUILD_DIR" --target ledra make_catalogs -- -j2 >/dev/null
fi
data=$BENCH_DIR/serve-$ENTRIES
if [[ ! -f $data/done ]]; then
  echo "generating 10 catalogues of $ENTRIES entries in $data ..."
  rm -rf "$data"
  mkdir -p "$data/cats"
  "$BUILD_DIR/bench/make_catalogs" "$data/cats" 10 "$ENTRIES" /dev/null /dev/null
  touch "$data/done"
fi
# Warm the page cache, as a server that has run for a while has it.
cat "$data"/cats/*.kvl >/dev/null

# serve_round LABEL: one server, then 1 and 50 clients against it.
serve_round() {
  "$BUILD_DIR/ledra" serve --in "$data/cats" --listen 127.0.0.1:0 >"$data/serve.txt" 2>&1 &
  server=$!
  url=
  for _ in $(seq 50); do
    url=$(grep -o 'http://[^ ]*' "$data/serve.txt" || true)
    [[ -n $url ]] && break
    sleep 0.1
  done
  [[ -n $url ]] || { echo "ledra serve did not start: $(cat "$data/serve.txt")" >&2; exit 1; }
  echo "ledra serve at $url over $(ls "$data/cats" | wc -l) catalogues of $ENTRIES entries" \
    "on $(nproc) processors ($1), load $(cut -d' ' -f1-3 /proc/loadavg)"
  for clients in 1 50; do
    python3 "$REPO/bench/serve_load.py" "$url" "$server" "$clients" "$WORDS"
  done
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null || true
}
trap 'kill "${server:-}" 2>/dev/null' EXIT

export LEDRA_INDEX_DIR=$data/no-index  # empty: every request scans
mkdir -p "$LEDRA_INDEX_DIR"
serve_round "no index: every request scans"
export LEDRA_INDEX_DIR=$data/index
"$BUILD_DIR/ledra" index --in "$data/cats" >/dev/null
serve_round "indexed by ledra index"
