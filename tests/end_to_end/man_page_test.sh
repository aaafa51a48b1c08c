#!/usr/bin/env bash
# Checks the manual page: it renders without a warning, and it documents
# every long option and every exit status that the tool's --help lists.
# usage: man_page_test.sh TOOL PAGE
set -euo pipefail
tool=$1 page=$2

fail() {
  echo "man page test: $*" >&2
  exit 1
}
for program in man groff; do
  command -v $program >/dev/null || {
    echo "skipped: $program is not installed (Debian package man-db)"
    exit 77
  }
done

# man-db reports undefined macros and the like; groff with every warning on
# also reports unknown fonts and escapes.
warnings=$({
  MANWIDTH=80 man -l --warnings=w "$page" >/dev/null
  groff -ww -z -man "$page"
} 2>&1)
[[ -z $warnings ]] || fail "warnings while rendering $page:"$'\n'"$warnings"

# The rendered page in plain ASCII, where \- is a hyphen.
text=$(LC_ALL=C MANWIDTH=80 man -l "$page" 2>/dev/null)
help=$("$tool" --help)

for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
  grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" <<<"$text" ||
    fail "$option is in --help but not in the man page"
done

# groff puts two spaces after an input line that ends in a full stop.
stops=$(grep -E '[a-z0-9]\.  +[a-z]' <<<"$text") &&
  fail "two spaces inside a sentence (an input line ends in '.'):"$'\n'"$stops"

# Exit statuses: lines "  N  text" after "Exit status:" in the help, lines
# "       N      text" in the man page's EXIT STATUS section.
documented=$(awk '/^[A-Z]/ { section = $0 } section == "EXIT STATUS" && /^ +[0-9]+ / { print $1 }' <<<"$text")
statuses=$(awk '/^Exit status:/ { on = 1; next } on && /^ +[0-9]+ / { print $1 }' <<<"$help")
[[ -n $statuses ]] || fail "found no exit status in --help"
for status in $statuses; do
  grep -qx "$status" <<<"$documented" || fail "exit status $status is in --help but not in the man page"
done
echo "man page test passed: $(wc -w <<<"$statuses") exit statuses and every long option of --help documented"
