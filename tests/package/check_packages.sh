#!/bin/sh
# What the packages hold: the Debian package installs tam.so, with its two
# entry points, into the system VST 2 folder and nothing else; the zip holds
# a 64-bit (PE32+) and a 32-bit (PE32) tam.dll, one folder each, and a read-me.
# Usage: check_packages.sh DEB ZIP
set -eu
deb="$1"
zip="$2"
here=$(dirname "$0")
status=0
fault() {
    echo "check_packages: $*" >&2
    status=1
}

info=$(dpkg-deb --info "$deb")
for field in "Package: tam-vst" "Section: sound" "Architecture: $(dpkg --print-architecture)"; do
    printf '%s\n' "$info" | grep -q "^ $field\$" || fault "$deb: no '$field' in the control data"
done
printf '%s\n' "$info" | grep -Eq '^ Version: [0-9]+\.[0-9]+\.[0-9]+$' || fault "$deb: no version"
files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $NF}')
[ "$files" = "./usr/lib/vst/tam.so" ] || fault "$deb holds '$files', not ./usr/lib/vst/tam.so alone"

work=$(mktemp -d "${TMPDIR:-/tmp}/tam-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/deb"
"$here/../host/check_exports.sh" "$work/deb/usr/lib/vst/tam.so" || fault "$deb: tam.so lost its entry points"

listing=$(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort | tr '\n' ' ')
[ "$listing" = "32-bit/tam.dll 64-bit/tam.dll README.txt " ] || fault "$zip holds: $listing"
unzip -q "$zip" -d "$work/zip"
file -b "$work"/zip/*/64-bit/tam.dll | grep -q '^PE32+ executable (DLL).* x86-64' || fault "$zip: 64-bit/tam.dll is not a PE32+ x86-64 DLL"
file -b "$work"/zip/*/32-bit/tam.dll | grep -q '^PE32 executable (DLL).* Intel 80386' || fault "$zip: 32-bit/tam.dll is not a PE32 i386 DLL"

[ "$status" -eq 0 ] && echo "packages hold what they should: $(basename "$deb") -> /usr/lib/vst/tam.so; $(basename "$zip") -> 64-bit (PE32+) and 32-bit (PE32) tam.dll"
exit "$status"
