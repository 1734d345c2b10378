#!/bin/sh
# Runs inside the USB test's guest (see usb_test.sh), in the host's root
# filesystem; /tmp/out is the writable share the host checks. Each run
# leaves NAME.out, NAME.err, NAME.status and, for cycles, NAME.trace.
. /tmp/out/env
o=/tmp/out
export QT_QPA_PLATFORM=offscreen HOME=/tmp XDG_RUNTIME_DIR=/tmp
for m in xhci-pci usbserial ftdi_sio; do
  for k in $(awk -F': ' -v m="$m" '$1 ~ "/" m "\\.ko$" {n = split($2, d, " "); for (i = n; i > 0; i--) print d[i]; print $1}' "$EB_MODULES/modules.dep"); do
    "$EB_BUSYBOX" insmod "$EB_MODULES/$k" 2>&1 | grep -v "File exists"
  done
done
wait_for() {  # wait_for SECONDS TEST...: until the test holds
  n=$(($1 * 10)); shift
  while [ $n -gt 0 ] && ! "$@"; do sleep 0.1; n=$((n - 1)); done
  "$@"
}
wait_for 20 test -c /dev/ttyUSB0 || echo "guest: no /dev/ttyUSB0"
ls /dev/ttyUSB* 2>/dev/null || dmesg | tail -20

# run NAME SECONDS ARGS...: the program with ARGS, its output and status kept.
run() {
  name=$1 limit=$2; shift 2
  t0=$(cut -d' ' -f1 /proc/uptime)
  timeout "$limit" "$EB_PROGRAM" "$@" >"$o/$name.out" 2>"$o/$name.err"
  echo $? >"$o/$name.status"
  echo "guest: $name status $(cat "$o/$name.status") in $(awk -v t0="$t0" '{print $1 - t0}' /proc/uptime) s"
}
# Ten boards set up (duty cycle 1, written, read back), continuous reading,
# then TICKS ticks.
cycle() {
  printf 'click Command0 1\nclick Command1 5\nclick Command1 6\nset Combo1 9\nclick Command1 10\ntick %s\n' "$1" >/tmp/cycle-$1
  echo /tmp/cycle-$1
}

run probe 30 --probe
run ftdi 60 --bridge ftdi --trace "$o/ftdi.trace" --script "$(cycle 30)"
wait_for 5 test -c /dev/ttyUSB0
ls /dev/ttyUSB* >"$o/tty-after-ftdi.ttys" 2>&1
run tty-after-ftdi 60 --bridge tty:/dev/ttyUSB0 --trace "$o/tty-after-ftdi.trace" --script "$(cycle 30)"

# Another program holds the serial port open: the FTDI transport leaves it.
sleep 30 </dev/ttyUSB0 &
holder=$!
run busy 30 --probe
kill $holder

# A slow bridge: every identify answered 150 ms late (within its 200 ms), and
# the first cell read of board 0 answered 1050 ms late (after its 1000 ms),
# so that its characters arrive when the next transaction has begun.
for t in ftdi tty:/dev/ttyUSB0; do
  name=slow-${t%%:*}
  printf '150 1000 IZ\n1050 1 MSxT80T04\n' >"$o/hold"
  run "$name" 60 --bridge "$t" --trace "$o/$name.trace" --script "$(cycle 12)"
  echo "0 0 none" >"$o/hold"
done

# Unplugged while reading: the program is held between two of its
# transactions until the device has gone, then plugged in again. udev runs
# as on a desktop, holding each USB removal back a second before it tells
# libusb (as a busy udev does): the device node is gone while libusb still
# lists the device.
mkdir -p /run/udev/rules.d
echo 'ACTION=="remove", SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", RUN+="/bin/sleep 1"' \
  >/run/udev/rules.d/90-slow-remove.rules
ln -sf "$EB_UDEVADM" /tmp/systemd-udevd
/tmp/systemd-udevd --daemon
gone() { ! grep -qs 0403 /sys/bus/usb/devices/*/idVendor; }
for t in ftdi tty:/dev/ttyUSB0; do
  name=unplug-${t%%:*}
  rm -f "$o/unplugged" "$o/replugged"
  timeout 60 "$EB_PROGRAM" --bridge "$t" --trace "$o/$name.trace" --script "$(cycle 2000)" \
    >"$o/$name.out" 2>"$o/$name.err" &
  pid=$!
  wait_for 30 sh -c "[ -s $o/$name.trace ] && [ \$(wc -l < $o/$name.trace) -gt 40 ]"
  kill -STOP $pid
  touch "$o/unplug-now"
  wait_for 20 test -e "$o/unplugged"
  wait_for 20 gone
  kill -CONT $pid
  wait $pid
  echo $? >"$o/$name.status"
  echo "guest: $name status $(cat "$o/$name.status"): $(cat "$o/$name.err")"
  touch "$o/replug-now"
  wait_for 20 test -e "$o/replugged"
  wait_for 20 test -c /dev/ttyUSB0
  run "replug-${t%%:*}" 30 --bridge "$t" --script "$(cycle 3)"
done

# A device this user may not open: --probe as nobody.
setpriv --reuid=65534 --regid=65534 --clear-groups "$EB_PROGRAM" --probe >"$o/refused.out" 2>&1
echo $? >"$o/refused.status"
