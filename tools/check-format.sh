#!/bin/sh
# Lists the C++ sources that clang-format (.clang-format) would change:
#
#   tools/check-format.sh [--strict]
#
# Report only by default: the exit status is 0 whatever differs. With --strict (as test-all.sh
# runs it) it is 1 when a file differs.
set -eu
cd "$(dirname "$0")/.."

strict=false
[ "${1:-}" = --strict ] && strict=true
format=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$format" ]; then
  echo "clang-format is not installed (Debian package clang-format): format not checked"
  exit 0
fi

total=0
# The files git knows, or, where git cannot read the checkout (none; a copy of a worktree,
# whose .git names a folder elsewhere; a checkout of another owner, which git refuses), every
# source below here but what the build and the set-up make: build folders and third_party/,
# where install-deps.sh copies the PCRE2 and SQLite headers of the Windows build.
sources=$(git ls-files '*.cc' '*.h' 2>/dev/null ||
  find . \( -path './build*' -o -path ./out -o -path ./third_party -o -path './.?*' \) -prune -o \
    \( -name '*.cc' -o -name '*.h' \) -print)
for file in $sources; do total=$((total + 1)); done
# One clang-format for every file (a process per file took most of the check's time); it
# names each place that would change as "FILE:LINE:COLUMN: error: ...".
status=0
# shellcheck disable=SC2086 # the file names are git's, one per word
report=$("$format" --dry-run --Werror $sources 2>&1 >/dev/null) || status=$?
differing=$(printf '%s\n' "$report" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
differ=0
for file in $differing; do
  differ=$((differ + 1))
  echo "  differs from .clang-format: $file"
done
if [ $status -ne 0 ] && [ $differ -eq 0 ]; then
  # It failed without naming a place: say what it said rather than report a clean tree.
  printf '%s\n' "$report" | head -5
  echo "--- format: clang-format failed (status $status)"
  exit 1
fi
echo "--- format: $differ of $total files differ from .clang-format$($strict || echo ' (report only)')"
if $strict && [ $differ -ne 0 ]; then exit 1; fi
exit 0
