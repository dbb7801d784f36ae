#!/bin/bash
# The emulated machine's first and only process (init=): mounts what Wine needs, runs the
# shipped-program check from the second disk with its output on the serial console, and
# powers the machine off, so that the host's qemu ends when the check does.
# The initial ramdisk hands over some of these already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
# The root disk is a throwaway snapshot: the prefix is written there.
mount -o remount,rw /
mkdir -p /io
echo "== guest up; time: boot, kernel start to the check: $(cut -d' ' -f1 /proc/uptime) s"
if mount /dev/vdb /io; then
  bash /io/repo/tests/vm/guest-run.sh
  echo "TESSIVANE-RESULT rc=$?"
  umount /io
else
  echo "TESSIVANE-RESULT rc=99 (no second disk)"
fi
sync
echo o >/proc/sysrq-trigger
sleep 30
