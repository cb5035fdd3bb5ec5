#!/bin/sh
# Runs every example the documentation shows: the blocks fenced as
# "console" in Markdown and the .EX blocks of a manual page. A line
# "$ COMMAND" is run by sh, with the tarsel under test first on the PATH, in
# an empty folder made for the block (one shell a block, so a cd holds for
# the rest of it); the lines after it, up to the next "$ " line, are what
# it must print, standard output and error together, and it must end with
# status 0. Messages are those of an English UTF-8 locale unless a command
# asks for another. The examples that show a folder make /tmp/tarselex
# (an 8.3 name, so that the line is the same on every machine). A command
# that starts with "wine " runs 64-bit Wine in the prefix TARSEL_WINEPREFIX
# names; where none is named, it and what it prints are left out.
# usage: doc_examples.sh TARSEL FILE...
set -e
tarsel=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/tdXXXXXX")
trap 'rm -rf "$work" /tmp/tarselex' EXIT
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
        rm -rf "$work/here" /tmp/tarselex && mkdir "$work/here" # the examples' own folder, made afresh
        (cd "$work/here" && sh "$script") >"$work/got" 2>&1 || true
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
