#!/usr/bin/env bash
# Checks a built saver without running it: a GUI program of the right format that needs nothing
# but Windows itself (no C runtime, only the functions that scripts/allowed-imports.txt lists as
# exported by both Windows 95 and NT 4.0), with no static constructors and no TLS, and within its
# size when it has a limit (the product has one; an author's saver has one only when it asks). The
# product carries no resources; a saver built from a resource script carries them, and its size
# is counted without them.
# Usage: check-image.sh [--with-resources] [--max-size BYTES] IMAGE i686|x86_64 [LINK-MAP]
set -euo pipefail
with_resources=
size_limit=
while [ $# -gt 0 ]; do
    case "$1" in
        --with-resources) with_resources=yes; shift ;;
        --max-size) size_limit=$2; shift 2 ;;
        *) break ;;
    esac
done
image=$1
arch=$2
map=${3:-}
allowed_list="$(dirname "$0")/allowed-imports.txt"
objdump=$arch-w64-mingw32-objdump
headers=$($objdump -p "$image")
failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
has() { grep -Eq "$1" <<<"$headers"; }

# Every function the image may import: the list's lines for every architecture and for this one.
allowed_functions=$(awk -v arch="$arch" '{ sub(/#.*/, "") }
    NF == 1 || (NF == 2 && $2 == arch) { print $1 }' "$allowed_list" | sort -u)

if [ "$arch" = i686 ]; then
    check "PE32 image" has 'Magic[[:space:]]+010b'
    check "subsystem version 4.0" has 'MajorSubsystemVersion[[:space:]]+4$'
    check "subsystem minor version 0" has 'MinorSubsystemVersion[[:space:]]+0$'
else
    check "PE32+ image" has 'Magic[[:space:]]+020b'
fi
check "Windows GUI subsystem" has 'Subsystem[[:space:]]+00000002'

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
echo "imports: $(tr '\n' ' ' <<<"$dlls")"
check "imports only KERNEL32, USER32, GDI32 and ADVAPI32 (no C runtime)" \
    bash -c "! grep -Evq '^(kernel32|user32|gdi32|advapi32)\.dll$' <<<'$dlls'"

# "DLL:function" per imported function, from the import tables.
functions=$(awk '/DLL Name:/ { dll = $3; next } /^$/ { dll = "" }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && NF == 3 { print dll ":" $3 }' <<<"$headers" | sort -u)
unknown=$(comm -23 <(echo "$functions") <(echo "$allowed_functions"))
# Each refused import with the list's reason for it, or the truth that the list does not know it.
refusal() {  # refusal DLL:function
    awk -v import="$1" '{ sub(/#.*/, "") } tolower($1) == tolower(import) && ($2 == "rule6" || $2 == "absent") {
        use = $3; for (i = 4; i <= NF; i++) use = use " " $i
        if ($2 == "rule6") print "not offered to effects because of rule 6 (an effect reads nothing of its own), use " use
        else print "not exported by Windows 95 or NT 4.0" ($3 ? ", " $3 " does the work where the system can" : "")
        found = 1; exit }
        END { if (!found) print "not in " list ", not yet checked for Windows 95 and NT 4.0" }' list="$allowed_list" "$allowed_list"
}
for import in $unknown; do
    echo "refused import ${import#*:}: $(refusal "$import")"
done
check "imports only functions that Windows 95 and NT 4.0 export ($(wc -l <<<"$functions") functions)" \
    test -z "$unknown"

# The resource section's size in the file, 0 when there is none: its contents, padded to the
# image's file alignment.
resource_bytes=$($objdump -h "$image" | awk '$2 == ".rsrc" { print $3 }')
resource_bytes=$((16#${resource_bytes:-0}))
alignment=$((16#$(sed -n 's/^FileAlignment[[:space:]]*//p' <<<"$headers")))
resource_bytes=$(( (resource_bytes + alignment - 1) / alignment * alignment ))
if [ -n "$with_resources" ]; then
    check "a resource section, from the saver's resource script" test "$resource_bytes" -gt 0
else
    check "no resource section" test "$resource_bytes" -eq 0
fi
# A TLS directory would have the system run TLS callbacks before the entry.
check "no TLS directory" has 'Entry 9 0+ 0+ Thread Storage Directory'
if [ -n "$map" ]; then
    # Nothing would run a static constructor or destructor: there must be none. In the link map
    # an input section stands on a line of its own, one blank in.
    check "no static constructors, destructors or TLS data (link map)" \
        bash -c "! grep -Eq '^ \.(ctors|dtors|init_array|fini_array|CRT\\\$|tls)' '$map'"
fi

size=$(stat -c %s "$image")
code_size=$size
if [ -n "$with_resources" ]; then
    code_size=$((size - resource_bytes))
    echo "size: $size bytes, $code_size without the resources"
else
    echo "size: $size bytes"
fi
if [ -n "$size_limit" ]; then
    check "size${with_resources:+ without the resources} ($code_size bytes) within $size_limit bytes" \
        test "$code_size" -le "$size_limit"
fi
[ "$failures" -eq 0 ]
