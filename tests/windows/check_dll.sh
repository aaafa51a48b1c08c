#!/usr/bin/env bash
# Static checks of a cross-built qrimage.dll, for DLLs that cannot be run
# here (the 32-bit one) as well as the 64-bit one:
#   - the export table holds one function, at ordinal 1, under the expected
#     name (_QRImage@12 on 32-bit, QRImage on 64-bit);
#   - the DLL is at most 64 KB and imports from KERNEL32.dll only (no C or
#     C++ runtime is linked in or needed);
#   - 32-bit: every return in the exported function removes the 12 bytes
#     of its three stdcall arguments (ret $0xc), and no instruction uses
#     the SSE registers, so any i686 runs it;
#   - a C host that includes qrimage.h and links the import library imports
#     exactly that name from qrimage.dll.
# usage: check_dll.sh i686|x86_64 DLL IMPORT_LIBRARY INCLUDE_DIR
set -euo pipefail

arch=$1 dll=$2 implib=$3 include=$4
tools=$arch-w64-mingw32
case $arch in
  i686) expected=_QRImage@12 ;;
  x86_64) expected=QRImage ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

headers=$("$tools-objdump" -p "$dll")

# Export Address Table lines look like "[   0] +base[   1] 14b0 Export RVA".
mapfile -t addresses < <(sed -n '/^Export Address Table --/,/^$/p' <<<"$headers" | grep 'Export RVA' || true)
mapfile -t names < <(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
if ((${#addresses[@]} != 1)); then
  fail "expected one exported address, found ${#addresses[@]}: ${addresses[*]}"
fi
if ((${#names[@]} != 1)) || [[ ${names[0]} != "$expected" ]]; then
  fail "expected the single export name $expected, found: ${names[*]:-none}"
fi
ordinal=$(sed -n 's/.*+base\[ *\([0-9]*\)\].*/\1/p' <<<"${addresses[0]:-}")
[[ $ordinal == 1 ]] || fail "export at ordinal '${ordinal}', expected 1"
echo "exports: ${names[*]:-none} at ordinal ${ordinal:-none}"

size=$(stat -c %s "$dll")
echo "size: $size bytes"
((size <= 65536)) || fail "the DLL is $size bytes, more than 64 KB"

mapfile -t imports < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
echo "imports: ${imports[*]:-none}"
if ((${#imports[@]} != 1)) || [[ ${imports[0],,} != kernel32.dll ]]; then
  fail "expected imports from KERNEL32.dll only, found: ${imports[*]:-none}"
fi

if [[ $arch == i686 ]]; then
  base=$(sed -n 's/^ImageBase[[:space:]]*//p' <<<"$headers")
  rva=$(awk '{print $(NF-2)}' <<<"${addresses[0]:-0 0 0}")
  address=$(printf '%x' $((0x$base + 0x$rva)))
  # The DLL is stripped; its symbols, with the size of each function, are
  # in the .debug file beside it (nm gives sizes of PE symbols only when
  # sorting by them).
  read -r symbol size < <("$tools-nm" -S --size-sort "$dll.debug" |
    awk -v a="$address" '$1 == a && $3 == "T" && !found {print $4, $2; found = 1}') || true
  if [[ -z ${symbol:-} ]]; then
    fail "no function symbol at the export address $address"
  else
    returns=$("$tools-objdump" -d --start-address=0x"$address" \
      --stop-address=$((0x$address + 0x$size)) "$dll" | grep -E $'\tret' || true)
    echo "returns of $symbol:"
    echo "${returns:-  none}"
    [[ -n $returns ]] || fail "no return instruction in $symbol"
    if grep -vqE $'\tret +\\$0xc$' <<<"$returns"; then
      fail "$symbol has a return that does not remove 12 bytes of arguments"
    fi
  fi
  sse=$("$tools-objdump" -d "$dll" | grep -cE '%xmm[0-7]' || true)
  ((sse == 0)) || fail "$sse instructions use SSE registers"
fi

# A host linked the ordinary way, through the header and the import library.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/host.c" <<'HOST'
#include "qrimage.h"
int main(void) { return QRImage("linked", 'M', "linked.bmp") > 0 ? 0 : 1; }
HOST
if "$tools-gcc" -Wall -Wextra -Werror -I"$include" -o "$scratch/host.exe" "$scratch/host.c" "$implib"; then
  linked=$("$tools-objdump" -p "$scratch/host.exe" |
    sed -n '/DLL Name: qrimage.dll/,/^$/p' | awk 'NR > 2 && NF >= 3 {print $3}')
  echo "a linked host imports from qrimage.dll: ${linked:-nothing}"
  [[ $linked == "$expected" ]] || fail "a linked host imports '${linked}', expected $expected"
else
  fail "a host using qrimage.h does not link against $implib"
fi

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
