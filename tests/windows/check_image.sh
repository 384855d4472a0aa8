#!/usr/bin/env bash
# Checks a Windows build's jqcpttst.exe and jqcpt.dll in the folder $1:
# console subsystem (4.0 for the 32-bit image), no DLLs beyond the system's
# and jqcpt.dll, the export of JQcpt_CountryList, the version record.
set -uo pipefail
export LC_ALL=C
dir=$1
exe=$dir/jqcpttst.exe
dll=$dir/jqcpt.dll
failures=0

expect() { # what, wanted, got
    if [ "$2" = "$3" ]; then
        echo "ok   $1: $3"
    else
        echo "FAIL $1: wanted '$2', got '$3'"
        failures=$((failures + 1))
    fi
}

headers=$(x86_64-w64-mingw32-objdump -p "$exe")
field() { awk -v k="$1" '$1 == k { print $2; exit }' <<<"$headers"; }
format=$(sed -n 's/.*file format //p' <<<"$headers" | head -1)
case $format in
pei-i386)
    expect "PE type" "PE32" "$(exiftool -s3 -PEType "$exe")"
    expect "subsystem version" "4.0" "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)"
    ;;
pei-x86-64)
    expect "PE type" "PE32+" "$(exiftool -s3 -PEType "$exe")"
    ;;
*) expect "file format" "pei-i386 or pei-x86-64" "$format" ;;
esac
expect "subsystem" "00000003 (Windows CUI)" "$(awk '$1 == "Subsystem" { print $2, $3, $4; exit }' <<<"$headers")"

imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | sort | tr '\n' ' '; }
expect "utility imports" "KERNEL32.dll jqcpt.dll msvcrt.dll " "$(imports "$exe")"
expect "library imports" "KERNEL32.dll msvcrt.dll " "$(imports "$dll")"
exports=$(x86_64-w64-mingw32-objdump -p "$dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && $NF != "Table" { print $NF }')
expect "library exports" "JQcpt_CountryList" "$exports"

expect "FileDescription" "CPTD Test Tool" "$(exiftool -s3 -FileDescription "$exe")"
expect "FileVersion" "02.50.06.14" "$(exiftool -s3 -FileVersion "$exe")"
expect "binary file version" "2.50.6.14" "$(exiftool -s3 -FileVersionNumber "$exe")"
expect "InternalName" "jqcpttst" "$(exiftool -s3 -InternalName "$exe")"
expect "ProductVersion" "2.50.6.14" "$(exiftool -s3 -ProductVersion "$exe")"

[ "$failures" -eq 0 ]
