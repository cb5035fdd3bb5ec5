#!/bin/sh
# Makes the Wine prefix the Windows tests run in, once (Wine would otherwise
# set its prefix up again at every start), and starts its server.
set -e
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all
if ! grep -qs disable "$prefix/.update-timestamp"; then
    mkdir -p "$prefix"
    /usr/lib/wine/wine64 wineboot --init >"$prefix/wineboot.log" 2>&1 </dev/null
    /usr/lib/wine/wineserver -w
    echo disable >"$prefix/.update-timestamp"
fi
# One server for the whole run: a server that quits between two programs can
# drop the next one's connection.
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
