#!/bin/sh
# Checks that a Linux tarsel is hardened as Debian hardens a package: the
# program position-independent where it is linked so (static-pie or pie),
# its relocations read-only (GNU_RELRO) and, where it has any to bind, bound
# at start (BIND_NOW); tarsel's own code built with the stack protector and
# the checked C library calls. A static program carries the C library's own
# protected code, so the calls are looked for in tarsel's library, not in
# the program.
# usage: check_hardening.sh PROGRAM LIBRARY NM LINK   (LINK: static-pie, static or pie)
program=$1 library=$2 nm=$3 link=$4
fail() { echo "FAIL: $*"; exit 1; }

type=$(readelf -hW "$program" | sed -n 's/^ *Type: *\([A-Z]*\).*/\1/p')
case $link in
static) [ "$type" = EXEC ] || fail "ELF type $type, expected EXEC for a static program" ;;
*) [ "$type" = DYN ] || fail "ELF type $type, expected DYN (position-independent) for $link" ;;
esac
interp=$(readelf -lW "$program" | grep -c 'Requesting program interpreter')
case $link in
static*) [ "$interp" = 0 ] || fail "a $link program with a program interpreter" ;;
esac
readelf -lW "$program" | grep -q GNU_RELRO || fail "no GNU_RELRO segment"
if [ "$link" != static ]; then
    readelf -dW "$program" | grep -Eq 'BIND_NOW|Flags:.* NOW' || fail "no BIND_NOW"
fi

symbols=$("$nm" "$library" 2>/dev/null) || fail "$nm cannot read $library"
# 32-bit x86 position-independent code calls the local alias.
echo "$symbols" | grep -Eq ' U __stack_chk_fail(_local)?$' || fail "no stack protector in tarsel's code"
checked=$(echo "$symbols" | sed -n 's/^ *U \(__[a-z]*_chk\)$/\1/p' | grep -v __stack_chk | sort -u)
[ -n "$checked" ] || fail "no checked C library calls (_FORTIFY_SOURCE) in tarsel's code"
echo "$(basename "$program"): $link, ELF $type, GNU_RELRO$([ "$link" != static ] && echo ", BIND_NOW");" \
    "stack protector and" $checked "in its own code"
