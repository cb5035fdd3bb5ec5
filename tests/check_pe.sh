#!/bin/sh
# Checks a Windows tarsel.exe: its file type, that it imports only system
# DLLs (KERNEL32 and the C runtime), that it carries the long-path aware
# manifest, and that it is loaded at a random address (64-bit wide for a
# 64-bit program) with a data segment that cannot run.
# usage: check_pe.sh EXE OBJDUMP 64|32
exe=$1 objdump=$2 bits=$3
# file(1) words it by its version: "PE32+ executable (console) x86-64", or
# "PE32+ executable for MS Windows 5.02 (console), x86-64".
out=$(file -b "$exe")
case $bits/$out in
"64/PE32+ executable "*"(console)"*x86-64*) ;;
"32/PE32 executable "*"(console)"*"Intel "*386*) ;;
*) echo "file type: $out (expected a $bits-bit console program)"; exit 1 ;;
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
flags=$("$objdump" -p "$exe" | sed -n '/^DllCharacteristics/,/^[A-Z]/p')
wanted="DYNAMIC_BASE NX_COMPAT"
[ "$bits" = 64 ] && wanted="$wanted HIGH_ENTROPY_VA"
for flag in $wanted; do
    echo "$flags" | grep -qw "$flag" || { echo "DllCharacteristics without $flag"; exit 1; }
done
echo "DllCharacteristics:" $wanted
