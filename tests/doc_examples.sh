#!/bin/sh
# Runs every example the documentation shows: the blocks fenced as
# "console" in Markdown and the .EX blocks of a manual page. A line
# "$ COMMAND" is run by sh, with the tarsel under test first on the PATH, in
# an empty folder made for the block (one shell a block, so a cd holds for
# the rest of it); the lines after it, up to the next "$ " line, are what
# it must print, standard output and error together, and it must end with
# status 0. Messages are those of an English UTF-8 locale unless a command
# asks for another. The examples that show a folder make /tmp/tarselex
# (an 8.3 name, so that the line is the same on every machine): each block
# runs in a mount namespace of its own whose /tmp is a folder of the test's
# (as root, or as root of a user namespace), so that nothing an example
# makes or removes there is the machine's; the few things of the real /tmp
# a block needs (this test's folder, the program, Wine's prefix) are bound
# into it. A command that starts with "wine "
# runs 64-bit Wine in the prefix TARSEL_WINEPREFIX names; where none is
# named, it and what it prints are left out.
# usage: doc_examples.sh TARSEL FILE...
set -e
tarsel=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/tdXXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$tarsel" "$work/bin/tarsel"
unset LC_ALL LC_MESSAGES LANGUAGE
export LANG=C.UTF-8 PATH="$work/bin:$PATH"

# Each block of FILE as a file of its own, its lines as the reader sees them.
blocks() { # blocks FILE OUTDIR
    case $1 in
    *.md) awk -v out="$2" '
        /^```console$/ { n++; inside = 1; next }
        /^```/ { inside = 0; next }
        inside { print > (out "/" n) }' "$1" ;;
    *) awk -v out="$2" '
        /^\.EX/ { n++; inside = 1; next }
        /^\.EE/ { inside = 0; next }
        inside {
            gsub(/\\e/, "\\"); gsub(/\\-/, "-"); gsub(/\\\(aq/, "'\''"); gsub(/\\\(dq/, "\""); gsub(/\\&/, "")
            print > (out "/" n)
        }' "$1" ;;
    esac
}

# The block without the commands that need Wine, where there is none.
without_wine() {
    if [ -n "${TARSEL_WINEPREFIX:-}" ]; then
        cat "$1"
    else
        awk '/^\$ / { wine = /^\$ wine / } !wine' "$1"
    fi
}

# What of the real /tmp a block needs, bound at the same place in its own.
: >"$work/keep"
for path in "$work" "$(dirname "$(readlink -f "$tarsel")")" ${TARSEL_WINEPREFIX:+"$TARSEL_WINEPREFIX"}; do
    case $(readlink -f "$path" 2>/dev/null || echo "$path") in
    /tmp/?*) [ -e "$path" ] && readlink -f "$path" >>"$work/keep" ;;
    esac
done
cat >"$work/enter" <<'ENTER'
# enter OWN_TMP SCRIPT: SCRIPT run with OWN_TMP as /tmp, in the folder it is
# started in. Wine's server opens the files, so Wine gets a server of the
# block's own, waited for.
set -e
own=$1 script=$2
while IFS= read -r path; do
    mkdir -p "$own${path#/tmp}"
    mount --bind "$path" "$own${path#/tmp}"
done <"$(dirname "$own")/keep"
mount --rbind "$own" /tmp
status=0
sh "$script" || status=$?
if [ -n "${TARSEL_WINEPREFIX:-}" ] && grep -q '^wine ' "$script"; then
    WINEPREFIX=$TARSEL_WINEPREFIX env -u TMPDIR /usr/lib/wine/wineserver -w
fi
exit $status
ENTER
if [ "$(id -u)" = 0 ]; then namespace="unshare --mount"; else namespace="unshare --mount --map-root-user"; fi
mkdir "$work/probe"
if ! (cd "$work" && $namespace sh "$work/enter" "$work/probe" /dev/null) 2>/dev/null; then
    namespace=
    echo "no mount namespace here: the examples run in the real /tmp"
    [ ! -e /tmp/tarselex ] || { echo "FAIL: /tmp/tarselex is there already, and the examples make it"; exit 1; }
    trap 'rm -rf "$work" /tmp/tarselex' EXIT
fi

examples=0 failed=0 skipped=0
for file; do
    rm -rf "$work/blocks" && mkdir "$work/blocks"
    blocks "$file" "$work/blocks"
    for block in $(ls "$work/blocks" | sort -n); do
        without_wine "$work/blocks/$block" >"$work/block"
        skipped=$((skipped + $(cat "$work/blocks/$block" | wc -l) - $(cat "$work/block" | wc -l)))
        mv "$work/block" "$work/blocks/$block"
        # The block as run: each command shown, then what it printed.
        script=$work/script
        printf 'set +e\nwine() { env -u TMPDIR WINEPREFIX="$TARSEL_WINEPREFIX" WINEDEBUG=-all /usr/lib/wine/wine64 "$@" </dev/null; }\n' >"$script"
        while IFS= read -r line; do
            case $line in
            '$ '*)
                examples=$((examples + 1))
                printf 'printf "%%s\\n" %s\n' "'$(printf %s "$line" | sed "s/'/'\\\\''/g")'" >>"$script"
                printf '%s || echo "(status $?)"\n' "${line#\$ }" >>"$script"
                ;;
            esac
        done <"$work/blocks/$block"
        rm -rf "$work/here" "$work/tmp" && mkdir "$work/here" "$work/tmp" # the examples' own folders, made afresh
        if [ -n "$namespace" ]; then
            (cd "$work/here" && $namespace sh "$work/enter" "$work/tmp" "$script") >"$work/got" 2>&1 || true
        else
            rm -rf /tmp/tarselex
            (cd "$work/here" && sh "$script") >"$work/got" 2>&1 || true
        fi
        if ! cmp -s "$work/blocks/$block" "$work/got"; then
            echo "FAIL: $file, example block $block:"
            diff "$work/blocks/$block" "$work/got" | sed 's/^/    /'
            failed=$((failed + 1))
        fi
    done
done
echo "$examples examples in $# files, $failed blocks failed"
[ $skipped = 0 ] || echo "$skipped lines under Wine left out (no TARSEL_WINEPREFIX)"
[ $failed = 0 ] && [ $examples -gt 0 ]
