#!/usr/bin/env bash
# Installs every Debian package the project needs (only those missing),
# then configures and builds the given CMake preset (default: "default").
# Works as root and, for other users, through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

# Qt Charts' CMake package needs the one of Qt OpenGL (libqt6opengl6-dev),
# which Debian's qt6-charts-dev does not pull in. The USB test boots a QEMU
# guest (qemu-system-x86); the guest's kernel, busybox and udev are Debian
# .deb files it downloads and unpacks itself (apt-get download, dpkg-deb).
PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev fonts-liberation
  libftdi1-dev libusb-1.0-0-dev libxlsxwriter-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  locales
  dpkg-dev qt6-svg-dev
  clang libclang-rt-14-dev  # libFuzzer, for the journal reader's fuzz target
  qemu-system-x86
  libsqlite3-dev sqlite3                     # recordings, and the shell to query them
  libmosquitto-dev mosquitto mosquitto-clients  # MQTT publishing; the broker and client of its tests
  python3-pyvisa python3-pyvisa-py socat     # real clients of the control socket
  python3-jsonschema python3-xmlschema       # payload and JUnit report schema checks
  python3-paho-mqtt openssl                  # the MQTT test's subscriber, its TLS certificates
  clang-tidy clang-format gcovr              # the gates and the coverage report
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# The USB test takes Debian's kernel with apt-get download, which needs the
# package lists even when every package above is already installed.
if [ "${#missing[@]}" -eq 0 ] && ! ls /var/lib/apt/lists/*_Packages >/dev/null 2>&1; then
  if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
  $SUDO apt-get update -q
fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, so the tests can prove that voltages are
# written and read with a point whatever the desktop's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: no de_DE.UTF-8 locale; its test is skipped"
fi

preset="${1:-default}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
