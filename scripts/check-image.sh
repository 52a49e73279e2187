#!/usr/bin/env bash
# Checks a built saver without running it: a GUI program of the right format that needs nothing
# but Windows itself (no C runtime, only functions that Windows 95 and NT 4.0 export), with no
# static constructors and no TLS, and within its size. The product carries no resources; a saver
# built from a resource script carries them, and its size is counted without them.
# Usage: check-image.sh [--with-resources] IMAGE i686|x86_64 [LINK-MAP]
set -euo pipefail
with_resources=
if [ "${1:-}" = --with-resources ]; then
    with_resources=yes
    shift
fi
image=$1
arch=$2
map=${3:-}
objdump=$arch-w64-mingw32-objdump
headers=$($objdump -p "$image")
failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
has() { grep -Eq "$1" <<<"$headers"; }

# Every function the image may import. Each of these is exported by both Windows 95 and NT 4.0;
# a new import is added here only once that has been checked for both.
allowed_functions=(
    ADVAPI32.dll:RegCloseKey ADVAPI32.dll:RegOpenKeyA ADVAPI32.dll:RegQueryValueExA
    GDI32.dll:CreatePen GDI32.dll:DeleteObject GDI32.dll:GetClipBox GDI32.dll:GetStockObject
    GDI32.dll:LineTo GDI32.dll:MoveToEx GDI32.dll:PatBlt GDI32.dll:SelectObject
    KERNEL32.dll:ExitProcess KERNEL32.dll:FreeLibrary KERNEL32.dll:GetCommandLineA
    KERNEL32.dll:GetModuleHandleA KERNEL32.dll:GetProcAddress KERNEL32.dll:GetTickCount
    KERNEL32.dll:GetVersionExA KERNEL32.dll:LoadLibraryA KERNEL32.dll:Sleep
    KERNEL32.dll:UnhandledExceptionFilter
    USER32.dll:CharNextA USER32.dll:CreateWindowExA USER32.dll:DefWindowProcA
    USER32.dll:DialogBoxParamA USER32.dll:DispatchMessageA USER32.dll:FindWindowA
    USER32.dll:GetClientRect USER32.dll:GetCursorPos USER32.dll:GetDC USER32.dll:GetForegroundWindow
    USER32.dll:GetMessageA USER32.dll:GetParent USER32.dll:IsWindow USER32.dll:LoadIconA
    USER32.dll:PeekMessageA USER32.dll:PostMessageA USER32.dll:PostQuitMessage
    USER32.dll:RegisterClassA USER32.dll:RegisterWindowMessageA USER32.dll:ReleaseDC
    USER32.dll:SendMessageA USER32.dll:SetCursor USER32.dll:SetForegroundWindow USER32.dll:SetTimer
    USER32.dll:SystemParametersInfoA USER32.dll:TranslateMessage
    # What an effect draws with: GDI's and USER's drawing calls of Windows 3.1's days.
    GDI32.dll:Arc GDI32.dll:BitBlt GDI32.dll:Chord GDI32.dll:CreateBrushIndirect
    GDI32.dll:CreateCompatibleBitmap GDI32.dll:CreateCompatibleDC GDI32.dll:CreateHatchBrush
    GDI32.dll:CreatePenIndirect GDI32.dll:CreateSolidBrush GDI32.dll:DeleteDC GDI32.dll:Ellipse
    GDI32.dll:GetPixel GDI32.dll:Pie GDI32.dll:Polygon GDI32.dll:Polyline GDI32.dll:Rectangle
    GDI32.dll:RoundRect GDI32.dll:SetBkColor GDI32.dll:SetBkMode GDI32.dll:SetPixel
    GDI32.dll:SetROP2 GDI32.dll:SetTextColor GDI32.dll:StretchBlt GDI32.dll:TextOutA
    USER32.dll:EndDialog USER32.dll:FillRect USER32.dll:FrameRect USER32.dll:InvertRect
    USER32.dll:KillTimer USER32.dll:LoadStringA
    # An effect's settings: their registry key, and the dialog built in memory from their table.
    ADVAPI32.dll:RegCreateKeyExA ADVAPI32.dll:RegOpenKeyExA ADVAPI32.dll:RegSetValueExA
    KERNEL32.dll:FindResourceA
    USER32.dll:DialogBoxIndirectParamA USER32.dll:GetDlgCtrlID USER32.dll:GetDlgItem
    USER32.dll:GetScrollPos USER32.dll:InvalidateRect USER32.dll:MessageBoxA
    USER32.dll:SetDlgItemTextA USER32.dll:SetScrollPos USER32.dll:SetScrollRange
    USER32.dll:SetWindowTextA
)
# The exception guard's unwind: the FS:[0] chain's RtlUnwind on i686 (KERNEL32 of both families);
# the table-based RtlUnwindEx on x86-64, whose image runs on 64-bit Windows only.
if [ "$arch" = i686 ]; then
    allowed_functions+=(KERNEL32.dll:RtlUnwind)
    size_limit=10240
else
    allowed_functions+=(KERNEL32.dll:RtlUnwindEx)
    size_limit=12288
fi

# A saver whose effect binds a settings table carries their code (reading, storing, the dialog
# built from the table); the link map shows it. The product links none of it.
settings_allowance=8192
if [ -n "$map" ] && grep -q 'libsaver_settings\.a(settings_dialog' "$map"; then
    echo "settings code linked: $settings_allowance bytes more allowed"
    size_limit=$((size_limit + settings_allowance))
fi

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
unknown=$(comm -23 <(echo "$functions") <(printf '%s\n' "${allowed_functions[@]}" | sort -u))
[ -z "$unknown" ] || echo "imports not known to be in Windows 95 and NT 4.0: $(tr '\n' ' ' <<<"$unknown")"
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
echo "size: $size bytes"
if [ -n "$with_resources" ]; then
    code_size=$((size - resource_bytes))
    check "size without the resources ($code_size bytes) within $size_limit bytes" \
        test "$code_size" -le "$size_limit"
else
    check "size within $size_limit bytes" test "$size" -le "$size_limit"
fi
[ "$failures" -eq 0 ]
