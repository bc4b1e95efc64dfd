#!/bin/sh
# Generates a glibc locale into a private folder, so that Wine can run in it without the
# machine's own locales:   wine-locale.sh FOLDER LOCALE      (LOCALE such as ja_JP.UTF-8)
# Exits 0 when FOLDER/LOCALE is there afterwards (then LOCPATH=FOLDER LC_ALL=LOCALE selects
# it); otherwise says why on standard error and exits 1. Wine takes its ANSI code page from
# the locale's name (ja_JP: 932) and the encoding of Unix file names from its charset, which
# the generated locale supplies.
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 FOLDER LOCALE" >&2
  exit 2
fi
folder=$1
name=$2
source=${name%%.*}
charmap=${name#*.}
[ "$charmap" = "$name" ] && charmap=UTF-8

[ -f "$folder/$name/LC_CTYPE" ] && exit 0
if ! command -v localedef >/dev/null 2>&1; then
  echo "localedef is missing (Debian: libc-bin), so no locale $name can be generated" >&2
  exit 1
fi
if [ ! -f "/usr/share/i18n/locales/$source" ]; then
  echo "no locale source /usr/share/i18n/locales/$source (Debian: install 'locales')" >&2
  exit 1
fi
mkdir -p "$folder" || exit 1
# localedef exits with 1 for mere warnings; what counts is whether the locale was written.
localedef -i "$source" -f "$charmap" "$folder/$name" >"$folder/localedef.txt" 2>&1
if [ ! -f "$folder/$name/LC_CTYPE" ]; then
  echo "localedef could not generate $name: $(tr -s '\n' ' ' <"$folder/localedef.txt")" >&2
  exit 1
fi
exit 0
