#!/bin/sh
# tarsel -s on a FAT volume, read through Linux's own vfat driver. This
# kernel has none, so the test boots user-mode Linux (the host's root as its
# own) with the volume as its disk. Names come from two makers: mtools,
# before the boot, and the vfat driver, inside. What each entry's 8.3 name
# is comes from the volume itself (fat_names, through the driver's ioctl).
# Every entry is named by its long path and by its short path in lower
# case; a short name the volume does not hold finds nothing.
# usage: fat_volume.sh TARSEL FAT_NAMES   (as root; exit 77: cannot run here)
set -e
tarsel=$1
names=$2
. "$(dirname "$0")/volume_needs.sh"
needs "user-mode Linux mounts the volume as its root" linux.uml mkfs.vfat mcopy mmd insmod
work=$(mktemp -d "${TMPDIR:-/tmp}/tfXXXXXX") # 8.3-legal, so copied as it stands
trap 'rm -rf "$work"' EXIT
mkdir "$work/mnt" "$work/src"

# mtools' names, made before the boot
mkfs.vfat -C "$work/fat.img" 16384 >/dev/null
export MTOOLS_SKIP_CHECK=1
for name in "Mtools Long Name 1.txt" "Mtools Long Name 2.txt" "Mtools Long Name 3.txt" \
    "Mtools Long Name 4.txt" "Mtools Long Name 5.txt" "Mtools Long Name 6.txt" README.TXT "a b.c d e"; do
    : >"$work/src/$name"
    mcopy -i "$work/fat.img" "$work/src/$name" "::/$name"
done
mmd -i "$work/fat.img" "::/Mtools Folder"
mcopy -i "$work/fat.img" "$work/src/Mtools Long Name 1.txt" "::/Mtools Folder/Inner Long File.txt"

# Inside user-mode Linux: the driver's names, then every check.
cat >"$work/inside" <<INSIDE
#!/bin/sh
cd "$work/mnt" || exit 1
for i in 1 2 3 4 5 6 7; do : >"Long File Name \$i.txt"; done
rm "Long File Name 3.txt"
: >"Long File Name 8.txt"
mkdir -p "Long Directory Name/Deeper Directory" "Program Files (x86)" "Program Files"
: >"Long Directory Name/Nested File Name.txt"
: >"Long Directory Name/Deeper Directory/Deep File.txt"
: >lower.txt
"$names" . >"$work/names" || exit 1
root="Z:\$(pwd | tr / '\\\\')"
checked=0 failed=0
expect() { # expect WANTED_LINE WANTED_STATUS ARGUMENTS...
    want=\$1 status=\$2
    shift 2
    got=\$("$tarsel" "\$@" 2>&1) && code=0 || code=\$?
    checked=\$((checked + 1))
    if [ "\$got" != "\$want" ] || [ \$code != \$status ]; then
        printf 'FAIL: tarsel %s: %s (%s), not %s (%s)\\n' "\$*" "\$got" "\$code" "\$want" "\$status"
        failed=\$((failed + 1))
    fi
}
tab=\$(printf '\t')
while IFS=\$tab read -r long short; do
    line="\$root\\\\\$short"
    case "\${short##*\\\\}" in *.*) ;; *) line="\$line." ;; esac
    expect "\$line" 0 -s "\$long"
    lower=\$(printf %s "\$short" | tr A-Z a-z)
    line="\$root\\\\\$lower"
    case "\${lower##*\\\\}" in *.*) ;; *) line="\$line." ;; esac
    expect "\$line" 0 -s "\$lower"
done <"$work/names"
missing="The system cannot find the file specified."
expect "\$missing" 2 -s "LONGFI~9.TXT"
expect "\$missing" 2 -s "LO8FE5~1.TXT"
expect "\$missing" 2 -s "LONGDI~1\\\\NESTED~9.TXT"
echo "\$checked checked, \$failed failed"
[ \$failed = 0 ]
INSIDE
cat >"$work/init" <<INIT
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
exec >"$work/log" 2>&1
fs=/usr/lib/uml/modules/\$(uname -r)/kernel/fs
for module in fat/fat fat/vfat nls/nls_cp437 nls/nls_iso8859-1 nls/nls_utf8; do
    insmod \$fs/\$module.ko || echo "cannot load \$module"
done
if mount -t vfat -o utf8 /dev/ubda "$work/mnt"; then
    sh "$work/inside"
    echo "status \$?" >"$work/done"
    umount "$work/mnt"
fi
halt -f -p
INIT
chmod +x "$work/init"
timeout 300 linux.uml mem=256M rootfstype=hostfs rw "ubd0=$work/fat.img" "init=$work/init" \
    con=null con0=fd:0,fd:1 </dev/null >"$work/boot" 2>&1 || true
cat "$work/log" 2>/dev/null || { echo "user-mode Linux did not run the test:"; cat "$work/boot"; }
[ -f "$work/names" ] && sed 's/^/volume holds: /' "$work/names"
grep -qx 'status 0' "$work/done" 2>/dev/null
