#!/usr/bin/env bash
# The release check: runs the shipped 32-bit program itself through the whole removal, as a
# real 32-bit process on a 64-bit Windows layer. This machine's kernel runs no 32-bit user
# code, so the run happens inside an emulated x86-64 machine (qemu, no hardware
# acceleration) whose Debian kernel does: there Wine starts the program as a WOW64 process
# in a 64-bit prefix, with the registry redirection users meet.
#
# The machine's disk is made once in build/vm/ (debootstrap from this machine's own apt
# sources, wine64 and wine32:i386 installed in it) and reused afterwards; the root disk is
# used as a snapshot, so every run starts from the same image. The build outputs and the
# end-to-end scenario code go in on a second disk; the results come out on the serial
# console. Prints each phase's time and exits non-zero on any failed check.
#
#   scripts/test-shipped.sh            # REBUILD_IMAGE=1 makes the image anew
set -uo pipefail
cd "$(dirname "$0")/.."
REPO=$(pwd)
VM=$REPO/build/vm
IMAGE=$VM/image
# Only a bound for a hung machine: a whole run takes three to eight minutes.
RUN_TIMEOUT=${RUN_TIMEOUT:-2400}
START=$SECONDS
phase_start=$SECONDS
phase() { echo "time: $1: $((SECONDS - phase_start)) s"; phase_start=$SECONDS; }
die() { echo "test-shipped: $*" >&2; exit 1; }

scripts/install-deps.sh || die "cannot install what the build needs"
if ! command -v qemu-system-x86_64 >/dev/null || ! command -v debootstrap >/dev/null; then
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-system-x86 debootstrap >/dev/null; } ||
    die "cannot install qemu-system-x86 and debootstrap"
fi
mkdir -p "$VM"

echo "== build"
scripts/build.sh >"$VM/build.log" 2>&1 || { tail -n 30 "$VM/build.log"; die "build failed"; }
phase "install what is missing, build"

# The image is made anew when the guest's first process changed, as it lives in the image.
image_recipe=$(sha256sum tests/vm/guest-init.sh | cut -d' ' -f1)
if [ "${REBUILD_IMAGE:-0}" = 1 ] || [ "$(cat "$IMAGE/done" 2>/dev/null)" != "$image_recipe" ]; then
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null)
  mirror=${mirror:-http://deb.debian.org/debian}
  echo "== image: debootstrap $suite from $mirror, a kernel, wine64 and wine32:i386"
  rm -rf "$VM/rootfs" "$IMAGE"
  mkdir -p "$IMAGE"
  debootstrap --variant=minbase --include=linux-image-amd64,wine,wine64,kmod,ca-certificates \
    "$suite" "$VM/rootfs" "$mirror" >"$VM/debootstrap.log" 2>&1 ||
    { tail -n 20 "$VM/debootstrap.log"; die "debootstrap failed"; }
  phase "image: debootstrap"
  # The i386 architecture is added inside the image only. Its packages' own set-up scripts
  # cannot run here ("Exec format error" from a 32-bit program); apt still installs them.
  cp /etc/resolv.conf "$VM/rootfs/etc/resolv.conf"
  mount -t proc proc "$VM/rootfs/proc" || die "cannot mount proc in the chroot"
  chroot "$VM/rootfs" /bin/sh -c 'dpkg --add-architecture i386 && apt-get update -q &&
      DEBIAN_FRONTEND=noninteractive apt-get install -y -q wine32:i386 && apt-get clean' \
    >"$VM/chroot-apt.log" 2>&1
  apt_rc=$?
  umount "$VM/rootfs/proc"
  [ "$apt_rc" = 0 ] || { tail -n 20 "$VM/chroot-apt.log"; die "installing wine32:i386 failed"; }
  phase "image: wine32:i386"
  install -m 755 tests/vm/guest-init.sh "$VM/rootfs/sbin/tessivane-init"
  cp -L "$VM/rootfs/vmlinuz" "$IMAGE/vmlinuz"
  cp -L "$VM/rootfs/initrd.img" "$IMAGE/initrd.img"
  mke2fs -q -t ext4 -d "$VM/rootfs" "$IMAGE/disk.img" 8G || die "mke2fs of the root disk failed"
  rm -rf "$VM/rootfs"
  echo "$image_recipe" >"$IMAGE/done"
  phase "image: disk"
else
  echo "== image: reused $IMAGE"
fi

echo "== the second disk: shipped program, stand-in product, scenario code"
IO=$VM/io
rm -rf "$IO" "$VM/io.img"
mkdir -p "$IO/repo" "$IO/build/tests"
cp -r tests scripts "$IO/repo/"
cp build/shipped/VuzavoRURIvezarov.exe "$IO/build/"
cp build/test/tests/stand_in_product.exe build/test/tests/tessivane_test_service.exe "$IO/build/tests/"
mke2fs -q -t ext4 -d "$IO" "$VM/io.img" 256M || die "mke2fs of the second disk failed"
rm -rf "$IO"

echo "== boot and run (console in $VM/console.log)"
# QEMU 7.2's emulation of supervisor-mode access prevention faults Wine's return to user
# code (an iretq of Wine's own, reported as a kernel oops), so the emulated processor goes
# without it.
timeout "$RUN_TIMEOUT" qemu-system-x86_64 -accel tcg -cpu max,-smap -m 4G -smp 2 -nographic -no-reboot \
  -kernel "$IMAGE/vmlinuz" -initrd "$IMAGE/initrd.img" \
  -append 'root=/dev/vda ro console=ttyS0 quiet init=/sbin/tessivane-init' \
  -drive file="$IMAGE/disk.img",format=raw,if=virtio,snapshot=on \
  -drive file="$VM/io.img",format=raw,if=virtio \
  -net none </dev/null >"$VM/console.log" 2>&1
qemu_rc=$?
# The firmware's screen codes share a line with the guest's first words.
guest=$(tr -d '\r' <"$VM/console.log" | sed -n 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1bc//g; /^== guest/,$p')
echo "$guest"
echo "qemu exit: $qemu_rc"
phase "emulated machine, power-on to power-off"
rc=$(sed -n 's/^TESSIVANE-RESULT rc=\([0-9]*\).*$/\1/p' <<<"$guest" | tail -n1)
echo "time: whole script: $((SECONDS - START)) s"
if [ "$rc" = 0 ]; then
  echo "PASSED: the shipped 32-bit program"
  exit 0
fi
if [ "$rc" = 3 ]; then
  echo "FAILED: the guest's Wine prefix could not be made (twice), so the shipped program was not run; this says nothing about the program"
  exit 1
fi
echo "FAILED: the guest reported [${rc:-no result}] (qemu exit $qemu_rc)"
exit 1
