#!/bin/bash
# Runs a test program built for another machine, and says why when it
# cannot start.
"$@"
status=$?
if [ "$status" = 126 ]; then
    echo "cannot start $1 ($(file -b "$1" | cut -d, -f1-2)): this kernel does not run it," \
        "and no emulator is registered for it with binfmt_misc (scripts/setup-debian registers qemu-user)" >&2
fi
exit "$status"
