#!/bin/sh
# tarsel -s on an NTFS volume through ntfs-3g (FUSE): the DOS names Windows
# would have given its entries are set as NTFS keeps them (the attribute
# system.ntfs_dos_name), out of byte order, with a hole in the numbers and
# some entries with none. Each row names an entry and says what -s prints.
# usage: ntfs_volume.sh TARSEL [WINEPREFIX]   (as root, with /dev/fuse; exit 77: cannot
# run here). With a Wine prefix, Wine opens every line that names a file.
set -e
tarsel=$1 prefix=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/volume_needs.sh"
needs "ntfs-3g mounts through FUSE" mkntfs ntfs-3g setfattr strace
[ -c /dev/fuse ] || cannot_run "no /dev/fuse"
work=$(mktemp -d "${TMPDIR:-/tmp}/tnXXXXXX") # 8.3-legal, so copied as it stands
mnt=$work/mnt
mkdir "$mnt"
truncate -s 64M "$work/ntfs.img"
mkntfs -F -f -q "$work/ntfs.img" 2>/dev/null
ntfs-3g "$work/ntfs.img" "$mnt"
trap 'umount "$mnt/Covered Folder" 2>/dev/null; umount "$mnt"; rm -rf "$work"' EXIT

cd "$mnt"
file() { printf '%s' "$1" >"$1"; } # each file holds its own name, for Wine to read
mkdir "Program Files (x86)" "Program Files" "Long Directory Name"
file "Long Report Name.doc"
file "No Dos Name Here.txt"
file "Long Directory Name/Nested Long File.txt"
file "Linked Long File.txt"
mkdir "Covered Folder" 'dir\bs'
file 'dir\bs/inner.txt'
lf=$(printf 'line\nbreak long.txt')
file "$lf"
file "$(printf 'tab\there.txt')"
dos() { setfattr -h -n system.ntfs_dos_name -v "$2" "$1"; }
dos "Program Files (x86)" PROGRA~1 # created first on Windows, so ~1
dos "Program Files" PROGRA~2
dos "Long Report Name.doc" LONGRE~3.DOC # two earlier files deleted
dos "Long Directory Name" LONGDI~1
dos "Long Directory Name/Nested Long File.txt" NESTED~1.TXT
dos "Linked Long File.txt" LINKED~1.TXT
dos "Covered Folder" COVERE~1
: >"Covered Folder/hidden by the mount.txt"
# DOS names given in lower and mixed case: ntfs-3g keeps them so, and finds
# them so only (it gives them in upper case), and so does Wine through it.
file "Lower Dos Name.txt"
dos "Lower Dos Name.txt" lower~1.txt
file "Mixed Dos Name.txt"
dos "Mixed Dos Name.txt" Mixed~1.Txt
# A DOS name that another entry has as its long name, in another case: no
# volume Windows wrote holds such a pair, but Linux makes one through
# ntfs-3g. Windows looks for long names first, so OTHERD~1 names otherd~1,
# and "Third Dir" shows by its long name.
mkdir "Third Dir"
file "Third Dir/only in third.txt"
dos "Third Dir" OTHERD~1
mkdir otherd~1
# DOS names beyond ASCII, one kept in lower case, found in upper case
# through Windows' upcase table.
file "Étude Long Name.txt"
file "Éclair Long Name.txt"
dos "Étude Long Name.txt" ÉTUDEL~1.TXT
dos "Éclair Long Name.txt" éclair~1.txt
# A DOS-named file with a second hard link, as under C:\Windows: its DOS
# name can no longer be read (EMLINK), but ntfs-3g still finds it by it.
ln "Linked Long File.txt" "Second Link.txt"
# A folder mounted over a DOS-named one hides it, and its DOS name; the DOS
# name leads into the hidden folder (Wine goes there), the long name into the
# mount (Windows would go there by both).
mount -t tmpfs none "Covered Folder"
file "Covered Folder/in the mount.txt"

root="Z:$(pwd | tr / '\\')"
missing="The system cannot find the file specified."
no_path="The system cannot find the path specified."
invalid="The filename, directory name, or volume label syntax is incorrect."
checked=0 failed=0
tab=$(printf '\t')
: >"$work/lines"
: >"$work/files"
expect() { # expect NAME WANT STATUS [FILE]: the line printed (the root left out) or the message,
    want=$2 # and the file Wine opens by that line
    case $3 in 0) want="$root\\$2" ;; esac
    got=$("$tarsel" -s "$1" 2>&1) && code=0 || code=$?
    checked=$((checked + 1))
    if [ "$got" != "$want" ] || [ "$code" != "$3" ]; then
        printf 'FAIL: tarsel -s %s: %s (%s), not %s (%s)\n' "$1" "$got" "$code" "$want" "$3"
        failed=$((failed + 1))
    elif [ -n "${4:-}" ]; then
        printf '%s\t%s\n' "$checked" "$got" >>"$work/lines"
        printf '%s\t%s\n' "$checked" "$4" >>"$work/files"
    fi
}
# Names no Windows name can be, with no DOS name, have no line: Wine's
# aliases find nothing on a volume that keeps short names. So is a folder
# whose name holds a "\", and the names in it while -s runs there.
expect "$lf" "$invalid" 123
expect "$(printf 'tab\there.txt')" "$invalid" 123
expect 'DIR\~CKN\inner.txt' "$no_path" 3
got=$(cd 'dir\bs' && "$tarsel" -s inner.txt 2>&1) && code=0 || code=$?
checked=$((checked + 1))
[ "$got" = "$invalid" ] && [ $code = 123 ] || { printf 'FAIL: in dir\\bs, tarsel -s inner.txt: %s\n' "$got"; failed=$((failed + 1)); }
# A DOS name ntfs-3g does not find by its upper case shows nothing; one
# found in another case than ntfs-3g keeps it shows as kept: Wine opens it
# only so.
# name given to -s <tab> line printed (the root left out) or message <tab> status <tab> the file
# Wine opens by that line
while IFS=$tab read -r name want status file; do
    [ -n "$name" ] || continue
    expect "$name" "$want" "$status" "$file"
done <<ROWS
Program Files (x86)	PROGRA~1.	0
Program Files	PROGRA~2.	0
program files	PROGRA~2.	0
progra~1	PROGRA~1.	0
PROGRA~2\\..\\PROGRA~1	PROGRA~1.	0
Long Report Name.doc	LONGRE~3.DOC	0	Long Report Name.doc
longre~3.doc	LONGRE~3.DOC	0	Long Report Name.doc
LONGRE~1.DOC	$missing	2
No Dos Name Here.txt	No Dos Name Here.txt	0	No Dos Name Here.txt
no dos name here.txt	No Dos Name Here.txt	0	No Dos Name Here.txt
NODOSN~1.TXT	$missing	2
Long Directory Name\\Nested Long File.txt	LONGDI~1\\NESTED~1.TXT	0	Long Directory Name/Nested Long File.txt
longdi~1\\nested~1.txt	LONGDI~1\\NESTED~1.TXT	0	Long Directory Name/Nested Long File.txt
LONGDI~1\\NOSUCH~1.TXT	$missing	2
LONGDI~2\\NESTED~1.TXT	$no_path	3
Linked Long File.txt	Linked Long File.txt	0	Linked Long File.txt
Second Link.txt	Second Link.txt	0	Linked Long File.txt
LINKED~1.TXT	LINKED~1.TXT	0	Linked Long File.txt
Covered Folder	Covered Folder.	0
Covered Folder\\in the mount.txt	Covered Folder\\IN_T~HJK.TXT	0	Covered Folder/in the mount.txt
COVERE~1\\in the mount.txt	$no_path	3
COVERE~1\\hidden by the mount.txt	$no_path	3
Covered Folder\\hidden by the mount.txt	$missing	2
Lower Dos Name.txt	Lower Dos Name.txt	0	Lower Dos Name.txt
LOWER~1.TXT	$missing	2
lower~1.txt	lower~1.txt	0	Lower Dos Name.txt
Mixed Dos Name.txt	Mixed Dos Name.txt	0	Mixed Dos Name.txt
Mixed~1.Txt	Mixed~1.Txt	0	Mixed Dos Name.txt
MIXED~1.TXT	$missing	2
mixed~1.txt	$missing	2
linebr~1.txt	$missing	2
étude long name.txt	ÉTUDEL~1.TXT	0	Étude Long Name.txt
étudel~1.txt	ÉTUDEL~1.TXT	0	Étude Long Name.txt
ÉTUDEL~1.TXT	ÉTUDEL~1.TXT	0	Étude Long Name.txt
Éclair Long Name.txt	Éclair Long Name.txt	0	Éclair Long Name.txt
ÉCLAIR~1.TXT	$missing	2
éclair~1.txt	éclair~1.txt	0	Éclair Long Name.txt
Third Dir\\only in third.txt	Third Dir\\only in third.txt	0	Third Dir/only in third.txt
OTHERD~1\\only in third.txt	$missing	2
Otherd~1\\only in third.txt	$missing	2
ROWS
# Every line above that names a file opens it under Wine, where the test is
# given a Wine prefix.
if [ -n "$prefix" ]; then
    x86_64-w64-mingw32-gcc -O1 -o "$work/wine_open.exe" "$here/wine_open.c"
    in_wine() { printf 'Z:%s' "$1" | tr / '\\'; }
    WINEPREFIX=$prefix WINEDEBUG=-all env -u TMPDIR /usr/lib/wine/wine64 "$work/wine_open.exe" \
        "$(in_wine "$work/lines")" "$(in_wine "$work/opened")" </dev/null
    if ! cmp -s "$work/files" "$work/opened"; then
        echo "FAIL: lines Wine did not open as the very file (row, file it should open; what it read):"
        diff "$work/files" "$work/opened" || true
        failed=$((failed + 1))
    fi
    echo "Wine opened $(wc -l <"$work/opened") lines"
fi

# A name missing from a folder of 20,000 entries, a missing folder on the
# way and an unknown DOS name cost one listing of the folder: no more system
# calls than twice what ls -f makes of it, never one an entry (each a round
# trip through FUSE: 1.6 s, where ls -f takes 20 ms).
mkdir Many
(cd Many && seq -f "Long File Name %05.0f.txt" 1 20000 | xargs -d '\n' touch)
calls() { # the system calls a command makes
    strace -f -c -o "$work/calls" "$@" >/dev/null 2>&1 || true
    awk '$NF == "total" { print $4 }' "$work/calls"
}
listing=$(calls ls -f Many)
for name in 'Many\missing.txt' 'Many\NOSUCH~1.TXT' 'Many\nosuch~1.txt' 'Many\missing\x.txt' 'Many\LONGFI~1.TXT'; do
    made=$(calls "$tarsel" -s "$name")
    checked=$((checked + 1))
    [ "${made:-0}" -gt 0 ] && [ "$made" -le $((listing * 2)) ] || {
        printf 'FAIL: tarsel -s %s: %s system calls, ls -f of the folder %s\n' "$name" "$made" "$listing"
        failed=$((failed + 1))
    }
done
echo "20,000 entries: ls -f made $listing system calls, tarsel -s of a missing name $made"

# A folder where another program makes and removes temporary files as fast
# as it goes, twenty alive at a time: -s of the names that do not depend on
# them is answered every time, and right.
mkdir Busy Busy/sub "Busy/Deep Folder"
(cd Busy && seq -f "Other Entry %.0f" 1 1000 | xargs -d '\n' touch)
: >"Busy/Long File Name.txt"
: >"Busy/sub/Another Long Name.txt"
: >"Busy/Deep Folder/x.txt"
dos "Busy/Long File Name.txt" LONGFI~1.TXT
dos "Busy/sub/Another Long Name.txt" ANOTHE~1.TXT
: >"$work/churning"
(i=0; while [ -f "$work/churning" ]; do : >"Busy/tmp.$i"; rm -f "Busy/tmp.$((i - 20))"; i=$((i + 1)); done) &
for run in 1 2 3 4 5 6 7 8 9 10; do
    expect 'Busy\Long File Name.txt' 'Busy\LONGFI~1.TXT' 0
    expect 'Busy\sub\Another Long Name.txt' 'Busy\sub\ANOTHE~1.TXT' 0
    expect 'Busy\Deep Folder\x.txt' 'Busy\Deep Folder\x.txt' 0
done
rm "$work/churning"
wait
echo "$checked checked, $failed failed"
cd /
[ $failed = 0 ]
