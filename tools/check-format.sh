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

differ=0
total=0
# The files git knows, or every source below here outside a git checkout.
sources=$(git ls-files '*.cc' '*.h' 2>/dev/null || find . -path './build*' -prune -o \( -name '*.cc' -o -name '*.h' \) -print)
for file in $sources; do
  total=$((total + 1))
  if ! "$format" --dry-run --Werror "$file" >/dev/null 2>&1; then
    differ=$((differ + 1))
    echo "  differs from .clang-format: $file"
  fi
done
echo "--- format: $differ of $total files differ from .clang-format$($strict || echo ' (report only)')"
if $strict && [ $differ -ne 0 ]; then exit 1; fi
exit 0
