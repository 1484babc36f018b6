#!/bin/sh
# The Windows module a host loads: a DLL of the expected architecture that
# needs nothing but system DLLs (no MinGW runtime DLLs beside it) and exports
# exactly the expected entry names.
# Usage: check_dll.sh MODULE OBJDUMP-FORMAT "EXPORT..."
#   e.g. check_dll.sh tam.dll pei-x86-64 "VSTPluginMain main"
set -eu
module="$1"
format="$2"
expected="$3 "
objdump=${OBJDUMP:-objdump}
headers=$("$objdump" -p "$module")

if ! printf '%s\n' "$headers" | grep -q "file format $format\$"; then
    echo "$module is not a $format module" >&2
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
if [ "$exports" != "$expected" ]; then
    echo "unexpected exports: $exports (expected $expected)" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "$format; imports: $(echo $imports); exports: $exports"
exit "$status"
