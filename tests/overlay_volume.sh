#!/bin/sh
# tarsel where inode numbers are above 2^32 and a folder on the way is
# stamped after 2038: overlayfs with xino=on over a lower layer of its own
# (a tmpfs), as containers mount it. Every program given (this machine's
# own first, then those built for others: 32-bit ones among them) prints
# the line expected.
# usage: overlay_volume.sh TARSEL [TARSEL...]   (as root; exit 77: cannot run here)
set -e
. "$(dirname "$0")/volume_needs.sh"
needs "it mounts overlayfs" mount umount stat
work=$(mktemp -d "${TMPDIR:-/tmp}/toXXXXXX") # 8.3-legal, so copied as it stands
mnt=$work/mnt
mkdir "$work/lower" "$work/rw" "$mnt"
trap 'umount "$mnt" 2>/dev/null; umount "$work/lower" "$work/rw" 2>/dev/null; rm -rf "$work"' EXIT
mount -t tmpfs none "$work/lower" && mount -t tmpfs none "$work/rw" || cannot_run "tmpfs cannot be mounted"
mkdir "$work/rw/upper" "$work/rw/work" "$work/lower/Some Folder" "$work/lower/Later Folder"
: >"$work/lower/short.txt"
: >"$work/lower/Some Folder/Long File Name.txt"
: >"$work/lower/Later Folder/Long File Name.txt"
touch -d 2040-01-01 "$work/lower/Later Folder"
mount -t overlay overlay -o "lowerdir=$work/lower,upperdir=$work/rw/upper,workdir=$work/rw/work,xino=on" "$mnt" ||
    cannot_run "overlayfs with xino=on cannot be mounted"
cd "$mnt"
inode=$(stat -c %i short.txt)
[ ${#inode} -gt 10 ] || cannot_run "overlayfs gave short.txt the inode $inode, not one above 2^32"
echo "inode of short.txt: $inode; Later Folder stamped $(stat -c %y 'Later Folder')"

root="Z:$(pwd | tr / '\\')"
checked=0 failed=0
for tarsel; do
    # option <tab> name <tab> line printed, the root left out
    while IFS=$(printf '\t') read -r option name want; do
        got=$("$tarsel" $option "$name" 2>&1) && code=0 || code=$?
        checked=$((checked + 1))
        if [ "$got" != "$root\\$want" ] || [ $code != 0 ]; then
            printf 'FAIL: %s %s %s: %s (%s), not %s\n' "$tarsel" "$option" "$name" "$got" "$code" "$root\\$want"
            failed=$((failed + 1))
        fi
    done <<ROWS
-s	short.txt	short.txt
-s	Some Folder\\Long File Name.txt	SOME~TBR\\LONG~5R1.TXT
-s	some~tbr\\long~5r1.txt	some~tbr\\long~5r1.txt
-s	Later Folder\\Long File Name.txt	LATE~DCY\\LONG~5R1.TXT
-p	Some Folder\\Long File Name.txt	Some Folder
ROWS
done
echo "$# programs, $checked checked, $failed failed"
cd /
[ $failed = 0 ]
