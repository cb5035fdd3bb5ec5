#!/bin/sh
# Makes the Wine prefix the Windows tests run in, once (Wine would otherwise
# set its prefix up again at every start), and starts its server. The loader
# (wine64, or wine for 32-bit programs) must start first: a prefix made
# before 32-bit programs could run lacks its 32-bit half.
# usage: wine_prefix.sh PREFIX LOADER
set -e
prefix=$1 loader=$2
unset TMPDIR # Wine 10 aborts where it is set
export WINEPREFIX=$prefix WINEDEBUG=-all
if ! out=$("$loader" --version 2>&1); then
    echo "cannot start $loader: $out"
    [ "$loader" = /usr/lib/wine/wine ] &&
        echo "32-bit Wine needs wine32:i386, and on a 64-bit-only kernel qemu-i386 registered with binfmt_misc: run scripts/setup-debian"
    exit 1
fi
if ! grep -qs disable "$prefix/.update-timestamp"; then
    mkdir -p "$prefix"
    /usr/lib/wine/wine64 wineboot --init >"$prefix/wineboot.log" 2>&1 </dev/null
    /usr/lib/wine/wineserver -w
    echo disable >"$prefix/.update-timestamp"
fi
# One server for the whole run: a server that quits between two programs can
# drop the next one's connection.
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
# The first program of a server starts the prefix's services, which may
# speak on standard error (Wine 10: "XDG_RUNTIME_DIR is invalid or not set
# in the environment."): that program is this one, not the tests'.
"$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
