#!/bin/sh
# Makes the Wine prefix the Windows tests run in, once: Wine would otherwise
# set its prefix up again at every start.
set -e
prefix=$1
[ -f "$prefix/.update-timestamp" ] && grep -q disable "$prefix/.update-timestamp" && exit 0
mkdir -p "$prefix"
WINEPREFIX=$prefix WINEDEBUG=-all /usr/lib/wine/wine64 wineboot --init >"$prefix/wineboot.log" 2>&1 </dev/null
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
echo disable >"$prefix/.update-timestamp"
