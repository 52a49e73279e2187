#!/usr/bin/env bash
# Checks a built saver.scr without running it: a GUI program of the right format, importing only
# what the Windows 95 family has, with no resources. Usage: check-image.sh IMAGE i686|x86_64
set -euo pipefail
image=$1
arch=$2
objdump=$arch-w64-mingw32-objdump
headers=$($objdump -p "$image")
failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
has() { grep -Eq "$1" <<<"$headers"; }

if [ "$arch" = i686 ]; then
    check "PE32 image" has 'Magic[[:space:]]+010b'
    check "subsystem version 4.0" has 'MajorSubsystemVersion[[:space:]]+4$'
    check "subsystem minor version 0" has 'MinorSubsystemVersion[[:space:]]+0$'
else
    check "PE32+ image" has 'Magic[[:space:]]+020b'
fi
check "Windows GUI subsystem" has 'Subsystem[[:space:]]+00000002'

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
echo "imports: $(tr '\n' ' ' <<<"$imports")"
allowed='^(kernel32|user32|gdi32|advapi32|msvcrt)\.dll$'
check "imports only KERNEL32, USER32, GDI32, ADVAPI32 and msvcrt" \
    bash -c "! grep -Evq '$allowed' <<<'$imports'"
check "no resource section" bash -c "! $arch-w64-mingw32-objdump -h '$image' | grep -q '\.rsrc'"
echo "size: $(stat -c %s "$image") bytes"
[ "$failures" -eq 0 ]
