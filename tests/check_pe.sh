#!/bin/sh
# Checks a Windows tarsel.exe: its file type, and that it imports only
# system DLLs (KERNEL32 and the C runtime), and that it carries the
# long-path aware manifest.
# usage: check_pe.sh EXE OBJDUMP EXPECTED-FILE-TYPE
exe=$1 objdump=$2 type=$3
out=$(file -b "$exe")
case $out in
"$type"*) ;;
*) echo "file type: $out (expected $type)"; exit 1 ;;
esac
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $dlls
[ -n "$dlls" ] || { echo "no imports found"; exit 1; }
for dll in $dlls; do
    case $dll in
    kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
    *) echo "not a system DLL: $dll"; exit 1 ;;
    esac
done
LC_ALL=C grep -q '<ws2:longPathAware>true</ws2:longPathAware>' "$exe" || { echo "no long-path aware manifest"; exit 1; }
