#!/bin/sh
# tarsel -s on an NTFS volume through ntfs-3g (FUSE): the DOS names Windows
# would have given its entries are set as NTFS keeps them (the attribute
# system.ntfs_dos_name), out of byte order, with a hole in the numbers and
# some entries with none. Each row names an entry and says what -s prints.
# usage: ntfs_volume.sh TARSEL   (as root, with /dev/fuse; exit 77: cannot run here)
set -e
tarsel=$1
. "$(dirname "$0")/volume_needs.sh"
needs "ntfs-3g mounts through FUSE" mkntfs ntfs-3g setfattr
[ -c /dev/fuse ] || cannot_run "no /dev/fuse"
work=$(mktemp -d "${TMPDIR:-/tmp}/tnXXXXXX") # 8.3-legal, so copied as it stands
mnt=$work/mnt
mkdir "$mnt"
truncate -s 16M "$work/ntfs.img"
mkntfs -F -f -q "$work/ntfs.img" 2>/dev/null
ntfs-3g "$work/ntfs.img" "$mnt"
trap 'umount "$mnt"; rm -rf "$work"' EXIT

cd "$mnt"
mkdir "Program Files (x86)" "Program Files" "Long Directory Name"
: >"Long Report Name.doc"
: >"No Dos Name Here.txt"
: >"Long Directory Name/Nested Long File.txt"
dos() { setfattr -h -n system.ntfs_dos_name -v "$2" "$1"; }
dos "Program Files (x86)" PROGRA~1 # created first on Windows, so ~1
dos "Program Files" PROGRA~2
dos "Long Report Name.doc" LONGRE~3.DOC # two earlier files deleted
dos "Long Directory Name" LONGDI~1
dos "Long Directory Name/Nested Long File.txt" NESTED~1.TXT

root="Z:$(pwd | tr / '\\')"
missing="The system cannot find the file specified."
no_path="The system cannot find the path specified."
checked=0 failed=0
tab=$(printf '\t')
# name given to -s <tab> line printed (the root left out) or message <tab> status
while IFS=$tab read -r name want status; do
    [ -n "$name" ] || continue
    case $status in 0) want="$root\\$want" ;; esac
    got=$("$tarsel" -s "$name" 2>&1) && code=0 || code=$?
    checked=$((checked + 1))
    if [ "$got" != "$want" ] || [ "$code" != "$status" ]; then
        printf 'FAIL: tarsel -s %s: %s (%s), not %s (%s)\n' "$name" "$got" "$code" "$want" "$status"
        failed=$((failed + 1))
    fi
done <<ROWS
Program Files (x86)	PROGRA~1.	0
Program Files	PROGRA~2.	0
program files	PROGRA~2.	0
progra~1	progra~1.	0
PROGRA~2\\..\\PROGRA~1	PROGRA~1.	0
Long Report Name.doc	LONGRE~3.DOC	0
longre~3.doc	longre~3.doc	0
LONGRE~1.DOC	$missing	2
No Dos Name Here.txt	No Dos Name Here.txt	0
no dos name here.txt	No Dos Name Here.txt	0
NODOSN~1.TXT	$missing	2
Long Directory Name\\Nested Long File.txt	LONGDI~1\\NESTED~1.TXT	0
longdi~1\\nested~1.txt	longdi~1\\nested~1.txt	0
LONGDI~1\\NOSUCH~1.TXT	$missing	2
LONGDI~2\\NESTED~1.TXT	$no_path	3
ROWS
echo "$checked checked, $failed failed"
cd /
[ $failed = 0 ]
