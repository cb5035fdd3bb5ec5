#!/bin/bash
# Every -s line opens, under Wine, the very file it was made from: a corpus
# of names of every kind (spaces, shared beginnings, several dots, leading
# dots, + , ; = [ ], accents, Cyrillic, CJK, emoji, bytes that are not
# UTF-8, control bytes, legal 8.3 names, names equal but for case, a name
# that is another's alias, long folders on the way) and crowded folders of
# shared aliases (IMG_NNNN.jpeg, Invoice 2024-NNNNN.pdf), on the disk. Each
# file holds its own number; wine_open.exe opens each line tarsel printed
# and says what it holds. A name fails only where no line can name it
# (123). The Windows build under Wine prints the same line as the native
# program for the ASCII names, but where the native line shows a long name
# (an alias shared, or made differently by Wine 8 and Wine 10).
# usage: wine_names.sh TARSEL TARSEL_EXE WINEPREFIX SOURCE_DIR
set -e
tarsel=$1 exe=$2
export WINEPREFIX=$3 WINEDEBUG=-all
src=$4
command -v x86_64-w64-mingw32-gcc >/dev/null || { echo "x86_64-w64-mingw32-gcc is missing: run scripts/setup-debian"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/twXXXXXX") # 8.3-legal, so copied as it stands
trap 'rm -rf "$work"' EXIT
wine() { env -u TMPDIR /usr/lib/wine/wine64 "$@" </dev/null; }
x86_64-w64-mingw32-gcc -O1 -o "$work/wine_open.exe" "$src/tests/wine_open.c"
mkdir "$work/c"
cd "$work/c"

names=()
file() { # file PATH: made, holding its number (its index + 1)
    names+=("$1")
    printf '%s\n' "${#names[@]}" >"$1"
}
mkdir crowded invoices mixed taken 'Long Folder Name' 'Long Folder Name/Deeper Long Folder' Cases 'Дерево' '.hidden dir'
for i in $(seq 0 2999); do file "crowded/$(printf 'IMG_%04d.jpeg' "$i")"; done
for i in $(seq 0 1999); do file "invoices/$(printf 'Invoice 2024-%05d.pdf' "$i")"; done
for name in 'Long Notes.txt' 'hello world' 'archive.tar.gz' 'a+b.txt' 'x,y;z=[1].txt' '.bashrc' '..double' \
    'v1.2.3.txt' 'café.txt' 'Привет.doc' '这是一个测试.txt' '😀.png' 'report.txt' 'README' 'Makefile.am' \
    'a b c d e f g.txt' 'Long File Name 1.txt' 'Long File Name 2.txt' 'Long File Name 10.txt' '~$ng Name M.txt' \
    'Résumé 2024.docx' 'ÉTÉ.txt' 'σοφία long.txt' '...contract.ini' 'x.y.z' 'no_ext_but_long' \
    $'a\xe9b.txt' $'x\xe9 long.txt' $'x\xe8 long.txt' $'line\nfeed' $'tab\there.txt' 'trailing.' \
    'trailing space ' 'a:b.txt' 'what?.txt' 'pipe|x' 'back\slash.txt' '1{~~d1' 'vni4.m6~' '$&hs' '(1).txt' \
    'dash-it' 'CONFIG.SYS' 'q' 'UPPER CASE NAME.TXT'; do
    file "mixed/$name"
done
for name in 'Long Notes.txt' 'LONG~TTV.TXT' 'Mixed Case Name.txt' 'MIXED CASE NAME.TXT' 'Only One Case.txt'; do
    file "taken/$name"
done
file 'Long Folder Name/inner file.txt'
file 'Long Folder Name/Deeper Long Folder/x y.txt'
file 'Дерево/листок.txt'
file '.hidden dir/inside file.txt'

# Whether no line can name the last component of $1: Windows text cannot
# carry it, or it is not UTF-8, which Wine reads as U+FFFD.
unnameable() {
    local last=${1##*/}
    case $last in *[$'\001'-$'\037'\\:*?\"\<\>\|]* | *. | *' ') return 0 ;; esac
    ! printf '%s' "$last" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1
}

# Whether the line $1 shows the last component of the name $2 by its long
# name (a name without an extension is printed with a dot after it).
shows_long() {
    local last=${1##*\\} name=${2##*/}
    [ "$last" = "$name" ] || [ "$last" = "$name." ]
}

: >"$work/lines"
failed=0 long=0 refused=0
for i in "${!names[@]}"; do
    name=${names[$i]}
    if line=$("$tarsel" -s "${name//\//\\}" 2>/dev/null); then
        printf '%s\t%s\n' "$((i + 1))" "$line" >>"$work/lines"
        shows_long "$line" "$name" && long=$((long + 1))
    elif unnameable "$name"; then
        refused=$((refused + 1))
    else
        echo "FAIL: tarsel -s ${name@Q} fails"
        failed=$((failed + 1))
    fi
done
wine "$work/wine_open.exe" "Z:$(printf '%s' "$work" | tr / '\\')\\lines" \
    "Z:$(printf '%s' "$work" | tr / '\\')\\opened"
opened=0
while IFS=$'\t' read -r number held; do
    if [ "$held" = "$number" ]; then
        opened=$((opened + 1))
    else
        echo "FAIL: ${names[$((number - 1))]@Q}: Wine opened $(grep -m1 "^$number"$'\t' "$work/lines" | cut -f2) and found ${held@Q}"
        failed=$((failed + 1))
    fi
done <"$work/opened"
echo "${#names[@]} names: Wine opened $opened lines as the very file ($long by a long name); $refused no line can name"
[ "$opened" = "$(wc -l <"$work/lines")" ] || { echo "FAIL: Wine opened $opened of $(wc -l <"$work/lines") lines as the very file"; failed=$((failed + 1)); }

# The Windows build under Wine, for the ASCII names (the code page carries
# them): the same line, but where the native one shows components by their
# long names.
differs_by_long_names() { # NATIVE WINDOWS NAME
    local -a n w p
    IFS='\' read -ra n <<<"$1"
    IFS='\' read -ra w <<<"$2"
    IFS=/ read -ra p <<<"$3"
    [ ${#n[@]} = ${#w[@]} ] || return 1
    local k=$((${#n[@]} - ${#p[@]})) j
    for j in "${!n[@]}"; do
        [ "${n[$j]}" = "${w[$j]}" ] && continue
        [ $j -ge $k ] && shows_long "${n[$j]}" "${p[$((j - k))]}" || return 1
    done
}

same=0 differ=0
for i in "${!names[@]}"; do
    name=${names[$i]}
    case $name in crowded/IMG_01* | invoices/*-000[0-4]* | mixed/* | taken/* | 'Long Folder Name'/* | .hidden*) ;; *) continue ;; esac
    printf '%s' "$name" | LC_ALL=C grep -q '[^ -~]' && continue
    native=$(grep -m1 "^$((i + 1))"$'\t' "$work/lines" | cut -f2)
    [ -n "$native" ] || continue # no line names it
    windows=$(wine "$exe" -s "${name//\//\\}" 2>/dev/null | tr -d '\r') || windows="(status $?)"
    if [ "$windows" = "$native" ]; then
        same=$((same + 1))
    elif differs_by_long_names "$native" "$windows" "$name"; then
        differ=$((differ + 1))
    else
        echo "FAIL: ${name@Q}: natively $native, under Wine $windows"
        failed=$((failed + 1))
    fi
done
echo "the Windows build under Wine: $same lines the same, $differ where the native line shows a long name"
[ $failed = 0 ]
