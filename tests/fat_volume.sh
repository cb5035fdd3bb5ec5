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
needs "user-mode Linux mounts the volume as its root" linux.uml mkfs.vfat mcopy mmd insmod strace
work=$(mktemp -d "${TMPDIR:-/tmp}/tfXXXXXX") # 8.3-legal, so copied as it stands
trap 'rm -rf "$work"' EXIT
mkdir "$work/mnt" "$work/src" "$work/crowd"

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

# A crafted or damaged stick: long names patched into a path ("x/y z", and
# twelve "../" before "etc"), into "..", and into one with a line feed
# whose 8.3 name holds a control byte. Q, J, q and V stand for the bytes
# patched in, and no other long name holds them.
mmd -i "$work/fat.img" "::/xJy z" "::/x" "::/x/y z" "::/QQJQQJQQJQQJQQJQQJQQJQQJQQJQQJQQJQQJetc"
for name in "xJy z/decoy.txt" "x/y z/secret.txt" Qq "lineVbreak long.txt"; do
    : >"$work/src/file"
    mcopy -i "$work/fat.img" "$work/src/file" "::/$name"
done
to=$(printf './.\nx')
"$names" --patch "$work/fat.img" QJqV "${to%x}"
"$names" --patch-short "$work/fat.img" LINEVB~1TXT "$(printf 'LINE\001B~1TXT')"
# A second volume with a crowded folder of 20,000 entries, written straight
# into the image (the driver takes minutes to make them).
mkfs.vfat -F 16 -C "$work/crowd.img" 16384 >/dev/null
mmd -i "$work/crowd.img" "::/Crowded"
"$names" --fill "$work/crowd.img" "CROWDED    " 20000
# An 8.3 name with a letter that iso8859-1 lacks (cp437's 0xE9, Θ), which a
# mount with uni_xlate lists escaped (":0398TUDE.TXT").
: >"$work/src/file"
mcopy -i "$work/crowd.img" "$work/src/file" "::/XTUDE.TXT"
"$names" --patch-short "$work/crowd.img" "XTUDE   TXT" "$(printf '\351TUDE   TXT')"
# And one with a lower-case letter it has (cp437's 0x82, é), listed in
# Latin-1 as the byte 0xE9: Windows shows it upper-cased, É (0xC9).
mcopy -i "$work/crowd.img" "$work/src/file" "::/ECLAT.TXT"
"$names" --patch-short "$work/crowd.img" "ECLAT   TXT" "$(printf '\202CLAT   TXT')"

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
: >"Étude Long Name.txt"
# Long names longer than the ioctl's 255 bytes: 86 and 85 CJK characters.
cjk85=\$(i=0; while [ \$i -lt 85 ]; do printf '日'; i=\$((i + 1)); done)
mkdir "Cut Names"
: >"Cut Names/\${cjk85}日.txt"
: >"Cut Names/\$cjk85"
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
    [ "\$long" != odd ] || continue
    line="\$root\\\\\$short"
    case "\${short##*\\\\}" in *.*) ;; *) line="\$line." ;; esac
    expect "\$line" 0 -s "\$long"
    lower=\$(printf %s "\$short" | tr A-Z a-z | sed 's/É/é/g')
    # A name beyond ASCII is no legal 8.3 name, copied as typed: the
    # volume's own shows.
    case \$lower in *[!\ -~]*) line="\$root\\\\\$short" ;; *) line="\$root\\\\\$lower" ;; esac
    case "\${lower##*\\\\}" in *.*) ;; *) line="\$line." ;; esac
    expect "\$line" 0 -s "\$lower"
done <"$work/names"
missing="The system cannot find the file specified."
invalid="The filename, directory name, or volume label syntax is incorrect."
expect "\$missing" 2 -s "LONGFI~9.TXT"
expect "\$missing" 2 -s "LO8FE5~1.TXT"
expect "\$missing" 2 -s "LONGDI~1\\\\NESTED~9.TXT"
# The crafted entries: found by their 8.3 names, never leaving the folder.
expect "\$root\\\\XJYZ~1\\\\decoy.txt" 0 -s "XJYZ~1\\\\decoy.txt"
expect "\$missing" 2 -s "XJYZ~1\\\\secret.txt"
expect "\$root\\\\QQJQQJ~1." 0 -s "QQJQQJ~1"
expect "\$missing" 2 -s "QQJQQJ~1\\\\passwd"
expect "\$root\\\\QQ." 0 -s QQ
# No 8.3 name to show and a line feed in the long name: no line names it,
# and Wine's alias finds nothing on a volume that keeps 8.3 names.
expect "\$invalid" 123 -s "\$(printf 'line\nbreak long.txt')"
expect "\$missing" 2 -s linebr~1.txt
expect "\$missing" 2 -s LINE~ZQJ.TXT
# Each cut name found whole, with its own 8.3 name (only the first has .TXT).
for name in "\${cjk85}日.txt" "\$cjk85"; do
    got=\$("$tarsel" -s "Cut Names\\\\\$name" 2>&1) && code=0 || code=\$?
    again=\$("$tarsel" -s "\$got" 2>&1) || again="status \$?"
    checked=\$((checked + 1))
    case \$name/\$code/\$got in
    *.txt/0/*.TXT | *[!t]/0/*[!T].) [ "\$again" = "\$got" ] && continue ;;
    esac
    printf 'FAIL: tarsel -s Cut Names\\\\%s: %s (%s), again %s\\n' "\$name" "\$got" "\$code" "\$again"
    failed=\$((failed + 1))
done
fail() { printf 'FAIL: %s\\n' "\$*"; failed=\$((failed + 1)); }
# -s of a long name in a folder of 20,000 entries asks the system no more
# than twice what ls -f of the folder does: the names by getdents, the 8.3
# name of the one entry wanted by the driver's ioctl (the old reading made
# an ioctl an entry). Counted by strace, not timed.
calls() { # calls NAME COMMAND...: the system calls NAME made (all of them for "total")
    want=\$1
    shift
    strace -f -c -o "$work/calls" "\$@" >/dev/null 2>&1 || true
    awk -v want="\$want" '\$NF == want { n = \$4 } END { print n + 0 }' "$work/calls"
}
cd "$work/crowd"
crowded='Crowded\\Long File Name 10000.txt'
expect "Z:\$(pwd | tr / '\\\\')\\\\Crowded\\\\LN010000.TXT" 0 -s "\$crowded"
listing=\$(calls total "\$(command -v ls)" -f Crowded)
made=\$(calls total "$tarsel" -s "\$crowded")
echo "FAT, 20,000 entries, in user-mode Linux: -s made \$made system calls, ls -f \$listing"
checked=\$((checked + 1))
[ \$made -gt 0 ] && [ \$made -le \$((listing * 2)) ] || fail "-s made \$made system calls, ls -f \$listing"
# No wait after a write in the folder, nor for one stamped ahead of the
# clock (a stick written an hour east of UTC): not one sleep.
: >Crowded/new.txt
mkdir Ahead
: >"Ahead/Long File Name.txt"
touch -d 2107-01-01 Ahead
for name in "\$crowded" 'Ahead\\Long File Name.txt'; do
    slept=\$(calls clock_nanosleep "$tarsel" -s "\$name")\$(calls nanosleep "$tarsel" -s "\$name")
    checked=\$((checked + 1))
    [ "\$slept" = 00 ] || fail "tarsel -s \$name slept (clock_nanosleep, nanosleep: \$slept)"
done
cd "$work/mnt"
# In the root folder, whose times vfat never changes, two files whose long
# names share their first 255 bytes (all the ioctl gives) swap names as fast
# as the driver goes: -s of one never gives the other's 8.3 name.
one="\${cjk85}1.txt"
: >"\$one"
: >"\${cjk85}2.txt"
mine=\$("$tarsel" -s "\$one") theirs=\$("$tarsel" -s "\${cjk85}2.txt")
"$names" --swap "\$one" "\${cjk85}2.txt" 4 &
runs=0 answered=0
while kill -0 \$! 2>/dev/null; do
    got=\$("$tarsel" -s "\$one" 2>/dev/null) && answered=\$((answered + 1))
    runs=\$((runs + 1))
    [ "\$got" != "\$theirs" ] || fail "tarsel -s \$one: \$got, the other file's"
done
wait \$! || fail "the swap stopped"
echo "root-folder swap: \$runs runs, \$answered answered"
checked=\$((checked + 1))
[ "\$mine" != "\$theirs" ] && [ \$answered -gt 0 ] || fail "swap: \$mine, \$theirs, \$answered answered"
echo "\$checked checked, \$failed failed"
[ \$failed = 0 ]
INSIDE
# shortname=lower shows every 8.3 name in lower case (É as é); the volume
# holds them in upper case, as -s shows them.
cat >"$work/lower" <<LOWER
#!/bin/sh
cd "$work/mnt" || exit 1
checked=0 failed=0
tab=\$(printf '\t')
while IFS=\$tab read -r long line; do
    got=\$("$tarsel" -s "\$long" 2>&1) || got="status \$?"
    checked=\$((checked + 1))
    [ "\$got" = "\$line" ] || { printf 'FAIL: shortname=lower: tarsel -s %s: %s, not %s\\n' "\$long" "\$got" "\$line"; failed=\$((failed + 1)); }
done <"$work/upper"
echo "shortname=lower: \$checked checked, \$failed failed"
[ \$failed = 0 ]
LOWER
cat >"$work/init" <<INIT
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
exec >"$work/log" 2>&1
fs=/usr/lib/uml/modules/\$(uname -r)/kernel/fs
for module in fat/fat fat/vfat nls/nls_cp437 nls/nls_iso8859-1 nls/nls_utf8; do
    insmod \$fs/\$module.ko || echo "cannot load \$module"
done
if mount -t vfat -o utf8 /dev/ubda "$work/mnt" && mount -t vfat -o utf8 /dev/ubdb "$work/crowd"; then
    sh "$work/inside"
    status=\$?
    cd "$work/mnt" && { grep -v '^odd' "$work/names" | awk -F '\t' 'NR <= 6 || /^É/ { print \$1 }'; echo étudel~1.txt; } |
        while IFS= read -r long; do
            printf '%s\t%s\n' "\$long" "\$("$tarsel" -s "\$long")"
        done >"$work/upper"
    cd /
    umount "$work/mnt" "$work/crowd"
    mount -t vfat -o utf8,shortname=lower /dev/ubda "$work/mnt" && sh "$work/lower" || status=1
    # uni_xlate: the escaped names, long and 8.3, are no Windows names: no
    # line names the entry (123).
    mount -t vfat -o uni_xlate,iocharset=iso8859-1 /dev/ubdb "$work/crowd" && cd "$work/crowd" &&
        { line=\$("$tarsel" -s "\$(ls | grep '^:')" 2>&1); code=\$?; [ \$code = 123 ]; } &&
        printf 'uni_xlate: %s\\n' "\$line" || { printf 'FAIL: uni_xlate: %s (%s)\\n' "\$line" "\$code"; status=1; }
    line=\$("$tarsel" -sfe "\$(ls | grep 'CLAT')" 2>&1)
    [ "\$line" = "\$(printf '\\311CLAT.TXT')" ] && echo "iso8859-1: \\311CLAT.TXT" ||
        { printf 'FAIL: iso8859-1: %s\\n' "\$line" | od -c | head -2; status=1; }
    cd /
    umount "$work/crowd"
    echo "status \$status" >"$work/done"
    umount "$work/mnt"
fi
halt -f -p
INIT
chmod +x "$work/init"
timeout 300 linux.uml mem=256M rootfstype=hostfs rw "ubd0=$work/fat.img" "ubd1=$work/crowd.img" "init=$work/init" \
    con=null con0=fd:0,fd:1 </dev/null >"$work/boot" 2>&1 || true
cat "$work/log" 2>/dev/null || { echo "user-mode Linux did not run the test:"; cat "$work/boot"; }
[ -f "$work/names" ] && sed 's/^/volume holds: /' "$work/names"
grep -qx 'status 0' "$work/done" 2>/dev/null
