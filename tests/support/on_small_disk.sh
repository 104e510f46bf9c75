#!/bin/sh
# Runs a Windows test program with a small empty file system of its own (a 256 KiB tmpfs), to
# fill up as a full disk would be; the program finds it at the Windows path in
# TESSERA_SMALL_DISK. Where this machine does not allow mounting, the variable stays unset and
# the tests that need the disk say so and skip.
#   on_small_disk.sh PROGRAM [ARGS...]
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
disk=$(mktemp -d)
mounted=0
finish() {
    if [ "$mounted" = 1 ]; then umount "$disk" 2>/dev/null; fi
    rmdir "$disk" 2>/dev/null || true
}
trap finish EXIT
trap 'exit 130' INT TERM
if mount -t tmpfs -o size=256k,mode=0777 tessera_small_disk "$disk" 2>/dev/null; then
    mounted=1
    TESSERA_SMALL_DISK="Z:$(printf '%s' "$disk" | tr / '\\')"
    export TESSERA_SMALL_DISK
fi
"$here/tools/wine_exec.sh" "$@"
status=$?
finish
trap - EXIT
exit "$status"
