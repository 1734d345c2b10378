#!/usr/bin/env bash
# The program against a real Linux USB stack: boots a QEMU guest with
# Debian's kernel (xhci_hcd, usbserial, ftdi_sio) and QEMU's emulated FTDI
# FT232 (0403:6001) behind an xHCI controller, whose serial side is the
# bridge emulator on this host. The guest sees the host's root filesystem
# read-only over 9p and runs the freshly built program from the build tree
# (guest.sh says what it runs); its results come back through a second,
# writable 9p share and are checked here.
#
#   usb_test.sh SOURCE_DIR PROGRAM BRIDGE CACHE_DIR
#
# The kernel, busybox and udev come from Debian's .deb files (apt-get download,
# dpkg-deb -x), unpacked once into CACHE_DIR. Exit status 77 (skipped) only
# where QEMU cannot run at all.
set -uo pipefail
mkdir -p "$4"
src=$(realpath "$1") program=$(realpath "$2") bridge=$(realpath "$3") cache=$(realpath "$4")
skip() { echo "usb test SKIPPED: $*"; exit 77; }
fail() { echo "usb test FAILED: $*"; exit 1; }

command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed (scripts/setup.sh installs qemu-system-x86)"
qemu-system-x86_64 -version >/dev/null 2>&1 || skip "qemu-system-x86_64 cannot run on this machine"

# --- Debian's kernel and busybox, unpacked once ------------------------------
root=$cache/root
mkdir -p "$cache/debs" "$root"
if ! ls "$root"/boot/vmlinuz-* >/dev/null 2>&1 || [ ! -x "$root/bin/busybox" ] ||
  [ ! -x "$root/bin/udevadm" ]; then
  kernel=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
  [ -n "$kernel" ] || fail "apt knows no linux-image-amd64 (apt-get update?)"
  (cd "$cache/debs" && apt-get download "$kernel" busybox-static udev) >"$cache/download.log" 2>&1 ||
    fail "cannot download $kernel busybox-static (see $cache/download.log)"
  for deb in "$cache"/debs/*.deb; do dpkg-deb -x "$deb" "$root" || fail "cannot unpack $deb"; done
fi
vmlinuz=$(ls "$root"/boot/vmlinuz-* | head -1)
kver=${vmlinuz##*/vmlinuz-}
modules=$root/lib/modules/$kver
busybox=$root/bin/busybox
[ -s "$modules/modules.dep" ] || "$busybox" depmod -b "$root" "$kver" || fail "depmod failed"

# The modules a list of modules needs, each after what it depends on.
ordered() {
  local m deps
  for m in "$@"; do
    deps=$(awk -F': ' -v m="$m" '$1 ~ "/" m "\\.ko$" {print $2}' "$modules/modules.dep")
    for d in $deps; do echo "$d"; done | tac
    awk -F': ' -v m="$m" '$1 ~ "/" m "\\.ko$" {print $1}' "$modules/modules.dep"
  done | awk '!seen[$0]++'
}

# --- the initramfs: busybox, the 9p modules, an /init that mounts the shares -
initrd=$cache/initrd-$kver.cpio.gz
if [ ! -s "$initrd" ]; then
  stage=$(mktemp -d)
  mkdir -p "$stage"/{bin,proc,sys,dev,host,modules}
  cp "$busybox" "$stage/bin/busybox"
  ordered virtio_pci 9pnet_virtio 9p > "$stage/modules.list"
  while read -r m; do cp "$modules/$m" "$stage/modules/"; done < "$stage/modules.list"
  cat > "$stage/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
for m in $(cat /modules.list); do insmod /modules/${m##*/}; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 host /host || poweroff -f
h=/host
mount -t proc proc $h/proc; mount -t sysfs sys $h/sys; mount -t devtmpfs dev $h/dev
mkdir -p $h/dev/shm $h/dev/pts; mount -t tmpfs shm $h/dev/shm
mount -t tmpfs tmp $h/tmp; mount -t tmpfs run $h/run
mkdir -p $h/tmp/out
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out $h/tmp/out
. $h/tmp/out/env
echo "guest: up at $(cut -d' ' -f1 /proc/uptime) s"
chroot $h /bin/sh "$EB_SRC/tests/usb/guest.sh" > $h/tmp/out/guest.log 2>&1
echo "guest: done at $(cut -d' ' -f1 /proc/uptime) s"
sync
poweroff -f
EOF
  chmod +x "$stage/init"
  (cd "$stage" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) > "$initrd.tmp" &&
    mv "$initrd.tmp" "$initrd"
  rm -rf "$stage"
fi

# --- the run ------------------------------------------------------------------
work=$(mktemp -d /tmp/eb2250-usb.XXXXXX)
out=$work/out
mkdir -p "$out"
trap 'kill $emulator 2>/dev/null; kill $qemu 2>/dev/null; [ -n "${EB_USB_KEEP:-}" ] || rm -rf "$work"' EXIT
trap "exit 1" INT TERM
cat > "$out/env" <<EOF
EB_SRC=$src
EB_PROGRAM=$program
EB_MODULES=$modules
EB_BUSYBOX=$busybox
EB_UDEVADM=$root/bin/udevadm
EB_KVER=$kver
EOF
"$bridge" serve "$work/bridge.sock" "$out/hold" &
emulator=$!
for _ in $(seq 50); do [ -S "$work/bridge.sock" ] && break; sleep 0.1; done

accel=tcg
start=$(date +%s.%N)
qemu-system-x86_64 -machine q35 -accel $accel -cpu max -smp 1 -m 1024 -nodefaults -display none \
  -no-reboot -kernel "$vmlinuz" -initrd "$initrd" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 rdinit=/init" \
  -serial "file:$work/console.log" -monitor "unix:$work/monitor.sock,server=on,wait=off" \
  -fsdev local,id=hostfs,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostfs,mount_tag=host \
  -fsdev local,id=outfs,path="$out",security_model=none \
  -device virtio-9p-pci,fsdev=outfs,mount_tag=out \
  -chardev "socket,id=bridge,path=$work/bridge.sock" \
  -device qemu-xhci,id=xhci -device usb-serial,chardev=bridge,id=usbser,bus=xhci.0 \
  >"$work/qemu.log" 2>&1 &
qemu=$!

# The guest asks for each unplug and replug by creating a file. It gets
# 150 s in all (about 60 s on an idle 2-core machine).
deadline=$((SECONDS + 150))
while kill -0 $qemu 2>/dev/null; do
  if [ $SECONDS -ge $deadline ]; then
    echo "usb test: the guest took longer than 150 s; stopped"
    kill $qemu
    break
  fi
  if [ -e "$out/unplug-now" ]; then
    rm -f "$out/unplug-now"
    "$bridge" monitor "$work/monitor.sock" "device_del usbser" && touch "$out/unplugged"
  fi
  if [ -e "$out/replug-now" ]; then
    rm -f "$out/replug-now"
    "$bridge" monitor "$work/monitor.sock" \
      "device_add usb-serial,chardev=bridge,id=usbser,bus=xhci.0" && touch "$out/replugged"
  fi
  sleep 0.1
done
wait $qemu
end=$(date +%s.%N)
cat "$work/console.log"
echo "--- guest.sh"
cat "$out/guest.log" 2>/dev/null || fail "the guest did not run guest.sh (see $work/qemu.log: $(cat "$work/qemu.log"))"
echo "---"
awk -v s="$start" -v e="$end" 'BEGIN {printf "usb test: QEMU ran %.1f s (boot to result)\n", e - s}' </dev/null

# --- the checks -------------------------------------------------------------
status=0
check() {  # check WHAT COMMAND...: runs the check, reports it
  if "${@:2}" >"$work/check.txt" 2>&1; then echo "ok   $1"
  else echo "FAIL $1 $(cat "$work/check.txt")"; status=1; fi
}
has() { grep -qE "$2" "$out/$1" 2>/dev/null; }
lacks() { ! grep -qE "$2" "$out/$1" 2>/dev/null; }
code() { [ "$(cat "$out/$1.status" 2>/dev/null)" = "$2" ]; }
below() { [ "$(sed -nE "s/.*$2 ([0-9]+) ms.*/\1/p" "$out/$1")" -lt "$3" ] 2>/dev/null; }

check "--probe: the bridge identified" has probe.out "ZQM4417-2 answered"
check "--probe: exit status 0" code probe 0
check "--probe: a serial port in use is left alone" has busy.out "is in use: its serial port /dev/ttyUSB0 is open in sleep"
for run in ftdi tty-after-ftdi slow-ftdi slow-tty; do
  "$bridge" check "$out/$run.trace" >"$out/$run.check" 2>&1
  echo "     $run: $(cat "$out/$run.check")"
  check "$run: the cycle ran to its end" code "$run" 0
  check "$run: every identify answered, every reply's PEC good" "$bridge" check "$out/$run.trace"
done
for run in ftdi tty-after-ftdi; do
  check "$run: all ten boards read" has "$run.check" "boards read 10,"
  check "$run: no reply missing" has "$run.check" "\\(0 empty\\)"
  check "$run: a tick within the 100 ms timer" below "$run.check" "tick median" 100
done
check "ftdi: /dev/ttyUSB0 back after the run" has tty-after-ftdi.ttys "ttyUSB0"
for t in ftdi tty; do
  check "slow-$t: the identify's 200 ms bounds its read" below "slow-$t.check" "tick median" 260
  check "slow-$t: the late reply missed only its own read" has "slow-$t.check" "\\(1 empty\\)"
  check "unplug-$t: the window closed" code "unplug-$t" 3
  check "unplug-$t: said the bridge went away" has "unplug-$t.err" "went away|no FTDI device .*found|No such"
  check "unplug-$t: no permission problem claimed" lacks "unplug-$t.err" "permission"
  check "replug-$t: identified again" code "replug-$t" 0
done
check "nobody: refused with \"no permission\"" has refused.out "no permission"
rm -rf "$cache/last-run" && cp -r "$out" "$cache/last-run"
[ $status = 0 ] && echo "usb test: passed" || echo "usb test: FAILED (the guest's outputs: $cache/last-run)"
exit $status
