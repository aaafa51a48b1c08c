#!/usr/bin/env bash
# Runs a test that uses wine, or skips it (exit status 77) with the reason
# when WINE cannot start a program here: it is not installed, or the kernel
# cannot load it (the 32-bit loader on a 64-bit kernel without IA32
# emulation fails with "Exec format error"). The test finds WINE in the
# environment as QRIMAGE_WINE and starts its Windows programs through
# wine_run.sh, beside this script.
# usage: wine_test.sh WINE COMMAND [ARGUMENTS...]
set -uo pipefail
wine=$1
shift
skip() {
  echo "SKIP: $*"
  exit 77
}
[[ -x $wine ]] || skip "$wine is missing (for the 32-bit one, Debian's wine32:i386 after" \
  "dpkg --add-architecture i386; scripts/test.sh installs it as root)"
# Asking for the version starts the loader itself, without a prefix.
version=$("$wine" --version 2>&1)
status=$?
case $status in
  0) echo "wine: $version" ;;
  126 | 127) skip "this machine cannot start $wine (exit status $status): $version" ;;
  *) echo "FAIL: $wine --version: $version" >&2 && exit 1 ;;
esac
export QRIMAGE_WINE=$wine
exec "$@"
