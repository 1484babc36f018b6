#!/bin/sh
# The Windows module a host loads: a 32-bit x86 DLL that needs nothing but
# system DLLs (no MinGW runtime DLLs beside it) and exports "main" alone.
set -eu
module="$1"
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
headers=$("$objdump" -p "$module")

if ! printf '%s\n' "$headers" | grep -q 'file format pei-i386'; then
    echo "$module is not a 32-bit x86 module" >&2
    exit 1
fi

imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort -u)
status=0
for dll in $imports; do
    case "$dll" in
        KERNEL32.DLL | MSVCRT.DLL | ADVAPI32.DLL | WINMM.DLL | MSACM32.DLL | USER32.DLL | GDI32.DLL | COMDLG32.DLL | SHELL32.DLL) ;;
        *) echo "unexpected import: $dll" >&2; status=1 ;;
    esac
done

# The names in the export table: the lines after "[Ordinal/Name Pointer] Table".
exports=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | tr '\n' ' ')
if [ "$exports" != "main " ]; then
    echo "unexpected exports: $exports" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "imports: $(echo $imports); exports: $exports"
exit "$status"
