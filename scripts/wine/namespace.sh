#!/usr/bin/env bash
# Runs a command in a private user and mount namespace made for 32-bit
# Wine: binfmt_misc there hands 32-bit x86 ELF programs to qemu's i386
# emulator (the kernel does not run them itself), and the unpacked i386
# Wine and libraries (install_wine32 in common.sh) lie under /usr. The rest
# of the machine sees none of it: a machine-wide registration would send
# every other Wine's 32-bit start-up through the emulator. binfmt_misc in a
# user namespace needs Linux 6.7 or later.
# Usage: scripts/wine/namespace.sh COMMAND [ARGUMENT...], from a script that
# sourced common.sh (which names the emulator and the tree).
set -euo pipefail
: "${OVL_I386_ROOT:?}" "${OVL_I386_EMULATOR:?}"
if [ "${1:-}" != --inside ]; then
  exec unshare --user --map-root-user --mount --propagation private -- "$0" --inside "$@"
fi
shift
# The machine's /usr first: the unpacked tree only adds what it lacks.
mount -t overlay overlay -o "lowerdir=/usr:$OVL_I386_ROOT/usr" /usr
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
# ELF, 32-bit, little-endian, version 1; an executable or shared object
# (type 2 or 3) for the i386. F: the emulator is opened now; P: the
# program keeps its argv[0].
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf ':ovl-i386:M::%s:%s:%s:FP' "$magic" "$mask" "$OVL_I386_EMULATOR" > /proc/sys/fs/binfmt_misc/register
# The machine's library cache lists no i386 folder: the i386 loader is told
# it here (64-bit programs pass over its libraries).
export LD_LIBRARY_PATH=/usr/lib/i386-linux-gnu${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
exec "$@"
