#!/bin/sh
# Installs a built tree as a package build would (a prefix below a temporary DESTDIR) and
# checks what lands there:
#
#   install_test.sh BUILD_DIR
#
# Both programs, each run from there (LedraCmd without arguments prints its usage, ledra
# --help its help), both manual pages, which must render without a single groff warning,
# and the README with the examples. Without groff the rest is still checked, then the test
# is skipped (exit status 77) with the reason on stdout.
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 build_dir" >&2
  exit 2
fi
stage=$(mktemp -d "${TMPDIR:-/tmp}/ledra-install-XXXXXX")
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$1" --prefix /opt/ledra >"$stage/install.log"
root=$stage/opt/ledra

status=0
fail() {
  echo "$*"
  status=1
}
for file in bin/LedraCmd bin/ledra share/man/man1/LedraCmd.1 share/man/man1/ledra.1 \
  share/doc/ledra/README.md share/doc/ledra/examples/params.txt \
  share/doc/ledra/examples/ledra.service share/doc/ledra/examples/ledra.timer \
  share/doc/ledra/examples/ledra.crontab; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done
[ "$(find "$stage" -type f ! -name install.log | wc -l)" -eq 9 ] ||
  fail "installed more than expected: $(find "$stage" -type f ! -name install.log)"

"$root/bin/LedraCmd" >"$stage/usage" 2>&1 || fail "LedraCmd without arguments failed"
grep -q '^>LedraCmd -f parameter_file$' "$stage/usage" ||
  fail "LedraCmd without arguments printed no usage: $(cat "$stage/usage")"
"$root/bin/ledra" --help >"$stage/help" 2>&1 || fail "ledra --help failed: $(cat "$stage/help")"
grep -q '^Usage: ledra ' "$stage/help" || fail "ledra --help printed no usage"

if ! command -v groff >/dev/null 2>&1; then
  [ $status -eq 0 ] || exit 1
  echo "no groff to render the manual pages with (Debian package groff-base)"
  exit 77
fi
for page in "$root"/share/man/man1/*.1; do
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
done
exit $status
