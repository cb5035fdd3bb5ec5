#!/bin/sh
# Installs tarsel from a native build and makes its archives, and checks what
# lands where; then the .zip of each Windows build directory given.
# usage: check_packages.sh NATIVE-BUILD-DIR [WINDOWS-BUILD-DIR ...]
set -e
build=$1
shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
has() { # has LISTING ENTRY
    grep -qx -- "$2" "$1" || fail "$2 missing from $(basename "$1"):$(echo; cat "$1")"
}

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
[ -x "$tmp/prefix/bin/tarsel" ] || fail "no bin/tarsel"
[ -f "$tmp/prefix/share/man/man1/tarsel.1.gz" ] || fail "no share/man/man1/tarsel.1.gz"
[ "$("$tmp/prefix/bin/tarsel" -fe 'C:\dir\report.final.txt')" = report.final.txt ] || fail "installed tarsel"

(cd "$tmp" && cpack -B "$tmp/pkg" --config "$build/CPackConfig.cmake" >/dev/null)
tgz=$(ls "$tmp"/pkg/tarsel-*.tar.gz) deb=$(ls "$tmp"/pkg/tarsel_*.deb)
tar tzf "$tgz" | sed 's,^[^/]*/,,' >"$tmp/tgz.txt"
has "$tmp/tgz.txt" bin/tarsel
has "$tmp/tgz.txt" share/man/man1/tarsel.1.gz
dpkg-deb -c "$deb" | awk '{ print $NF }' >"$tmp/deb.txt"
has "$tmp/deb.txt" ./usr/bin/tarsel
has "$tmp/deb.txt" ./usr/share/man/man1/tarsel.1.gz
has "$tmp/deb.txt" ./usr/share/doc/tarsel/copyright
has "$tmp/deb.txt" ./usr/share/doc/tarsel/short-names.md
echo "$(basename "$tgz") and $(basename "$deb"): program and manual page"
# The .deb as a Debian user would judge it.
if command -v lintian >/dev/null; then
    # lintian leaves its caches in TMPDIR: here, in the folder removed at the end.
    TMPDIR=$tmp lintian --fail-on error "$deb" || fail "lintian finds errors in $(basename "$deb")"
    echo "lintian: no errors"
elif [ "$TARSEL_REQUIRE_LINTIAN" = 1 ]; then
    fail "lintian is not installed (scripts/setup-debian installs it)"
else
    echo "lintian is not installed: the .deb is not checked"
fi

for win in "$@"; do
    out=$tmp/$(basename "$win")
    (cd "$tmp" && cpack -B "$out" --config "$win/CPackConfig.cmake" >/dev/null)
    zip=$(ls "$out"/tarsel-*.zip)
    (cd "$out" && cmake -E tar tf "$zip") >"$out/zip.txt"
    for f in tarsel.exe README.md LICENSE; do has "$out/zip.txt" "$f"; done
    echo "$(basename "$zip"): tarsel.exe, README.md, LICENSE"
done
