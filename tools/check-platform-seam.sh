#!/usr/bin/env bash
# Fails, naming file and line, where a source outside platform/ reaches the operating system
# itself: an operating-system header, std::filesystem, the C library's console calls, or a
# conditional on the platform. Everything the programs ask of the machine goes through
# Platform (platform/platform.h); only its back ends include such headers or test such
# macros.
#
#   tools/check-platform-seam.sh [SOURCE_DIR]
#
# Exempt: platform/, the tests and their helpers (*_test.cc, *_testing.*, the end-to-end
# support headers, catalog/catalog_test_support.h), the benchmarks (bench/) and the tools
# (tools/), which drive real machines on purpose.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

EXEMPT='^\./(platform|bench|tools)/|_test\.cc$|_testing\.(h|cc)$|^\./app/end_to_end(_posix)?_support\.h$|^\./catalog/catalog_test_support\.h$'

# What marks a reach past the seam, one extended regular expression each, with the reason.
rules=(
  '#[[:space:]]*include[[:space:]]*<([Ww]indows|winbase|winnt|shlobj|shellapi|io|direct|conio|process|fcntl|unistd|dirent|dlfcn|poll|pwd|grp|termios|iconv|mntent|spawn|sys/[^>]*|libmount/[^>]*|blkid/[^>]*|filesystem)\.?h?>|an operating-system header'
  'std::filesystem|std::filesystem (files and folders go through Platform)'
  '(^|[^_[:alnum:]])_?(isatty|setmode|fileno|popen|chdir|getcwd|stat|lstat|unlink|mkdir|rmdir|opendir|readdir)[[:space:]]*\(|a call of the C library on files or the console'
  '#[[:space:]]*(if|ifdef|ifndef|elif)([^[:alnum:]_].*)?(_WIN32|_WIN64|__linux__|__APPLE__|__unix__|__FreeBSD__|_MSC_VER|__MINGW32__|__MINGW64__|__CYGWIN__|_POSIX_VERSION)|a conditional on the platform'
)

files=()
while IFS= read -r -d '' file; do
  [[ $file =~ $EXEMPT ]] || files+=("$file")
done < <(find . \( -path './.*' -o -path './build*' -o -path ./third_party \) -prune -o \
  \( -name '*.cc' -o -name '*.h' \) -print0 | sort -z)

failed=0
for rule in "${rules[@]}"; do
  pattern=${rule%|*}
  reason=${rule##*|}
  # FILE:LINE:TEXT, comments left out.
  while IFS= read -r hit; do
    where=${hit%%:*}:$(cut -d: -f2 <<<"$hit")
    text=${hit#*:*:}
    printf '%s: %s: %s\n' "${where#./}" "$reason" "$text" >&2
    failed=1
  done < <(grep -nHE -- "$pattern" "${files[@]}" | grep -vE '^[^:]*:[0-9]+:[[:space:]]*//' || true)
done

if ((failed)); then
  echo "check-platform-seam: the lines above reach the operating system outside platform/" >&2
  exit 1
fi
echo "check-platform-seam: ok (${#files[@]} files)"
