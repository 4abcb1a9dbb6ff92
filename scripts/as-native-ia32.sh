#!/bin/sh
# Runs a command as on a machine whose kernel starts 32-bit x86 programs itself, on a machine whose kernel
# refuses them: inside a new user and mount namespace with its own binfmt_misc instance (Linux 6.7 or later),
# whose handler starts 32-bit ELF programs through qemu-i386. Only the command and its children see it. It
# exercises the scripts' native branch (a 32-bit tree configured here finds "run natively"); it is not a real
# IA-32 kernel: a tree configured inside runs its 32-bit programs only inside such a namespace.
#   usage: scripts/as-native-ia32.sh COMMAND [ARG...]     e.g. scripts/as-native-ia32.sh scripts/test.sh
set -eu
if [ "${AS_NATIVE_IA32_INSIDE:-}" != 1 ]; then
  qemu=$(command -v qemu-i386) || { echo "as-native-ia32: qemu-i386 is not installed (Debian package qemu-user)" >&2; exit 2; }
  AS_NATIVE_IA32_INSIDE=1 QEMU_I386="$qemu" exec unshare --user --map-root-user --mount "$0" "$@"
fi
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
  { echo "as-native-ia32: this kernel gives a user namespace no binfmt_misc instance of its own" >&2; exit 2; }
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":ia32:M::$magic:$mask:$QEMU_I386:F" > /proc/sys/fs/binfmt_misc/register
exec "$@"
