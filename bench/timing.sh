# shellcheck shell=bash
# shellcheck disable=SC2034,SC2154  # repo and BUILD_DIR are set by the script; run_* are for it
# Shared by the benchmarks that time `ledra` commands with GNU time (compare.sh,
# analyses.sh, sqlite_append.sh); sourced, not run. They set repo and BUILD_DIR first.

# build_bench TARGET...: the Release build of the benchmark's targets in $BUILD_DIR.
build_bench() {
  cmake -S "$repo" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLEDRA_BENCH=ON \
    -DLEDRA_TESTS=OFF >/dev/null
  cmake --build "$BUILD_DIR" -j2 --target "$@" >/dev/null
}

# timed_runs RUNS OUT LABEL COMMAND...: runs COMMAND RUNS times under GNU time, its standard
# output into OUT, and sets run_median and run_best (wall seconds), run_cpu (the median of
# user and system seconds: on a busy machine the wall time is mostly waiting) and run_peak
# (the largest peak resident set size, KB). Before each run the file $run_fresh names, when
# set, is removed (an export does not write over a database). Status 1 is "nothing
# listed", a valid outcome for a query; any other failure ends the benchmark, with LABEL
# and the command's standard error.
timed_runs() {
  local runs="$1" out="$2" label="$3"
  shift 3
  local timing errors
  timing=$(mktemp) errors=$(mktemp)
  local times=() cpus=() seconds kb user system
  run_peak=0
  for ((i = 0; i < runs; i++)); do
    [ -z "${run_fresh:-}" ] || rm -f "$run_fresh"
    /usr/bin/time -f '%e %M %U %S' -o "$timing" "$@" >"$out" 2>"$errors" || {
      local status=$?
      [ "$status" = 1 ] || { echo "$label failed with status $status:" >&2; cat "$errors" >&2; exit 1; }
    }
    read -r seconds kb user system <"$timing"
    times+=("$seconds")
    cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')")
    [ "$kb" -gt "$run_peak" ] && run_peak=$kb
  done
  rm -f "$timing" "$errors"
  local middle=$(((runs + 1) / 2))
  run_median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "${middle}p")
  run_best=$(printf '%s\n' "${times[@]}" | sort -n | head -n 1)
  run_cpu=$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "${middle}p")
}
