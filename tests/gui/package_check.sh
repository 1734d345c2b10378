#!/usr/bin/env bash
# package_check.sh BUILD_DIR VERSION
# Builds the Debian package from the build tree, checks what it holds and
# what it depends on, installs it into a throw-away root (dpkg --root, its
# dependencies taken from this machine) and runs the installed program.
set -euo pipefail
build="$1"
version="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/eb2250-gui_"$version"_*.deb)
fail() { echo "package: $*" >&2; exit 1; }

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/eb2250-gui \
         ./usr/share/applications/eb2250-gui.desktop \
         ./usr/share/icons/hicolor/scalable/apps/eb2250-gui.svg \
         ./usr/share/icons/hicolor/16x16/apps/eb2250-gui.png \
         ./usr/share/icons/hicolor/48x48/apps/eb2250-gui.png \
         ./usr/share/icons/hicolor/256x256/apps/eb2250-gui.png \
         ./usr/share/man/man1/eb2250-gui.1 \
         ./usr/lib/udev/rules.d/60-eb2250-bridge.rules; do
  grep -qx -- "$f" <<<"$files" || fail "$f missing from $(basename "$deb")"
done
# Nothing of the build: no libraries, headers or tests.
if grep -E '\.(a|h|so)$|tests|bench' <<<"$files"; then fail "build files in the package"; fi

depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libqt6svg6 libftdi1-2 libxlsxwriter4 fonts-liberation; do
  grep -q "\b$d\b" <<<"$depends" || fail "Depends lacks $d: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = eb2250-gui ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"

# The desktop entry starts the program by the name it is installed under.
dpkg-deb -x "$deb" "$work/x"
grep -qx 'Exec=eb2250-gui' "$work/x/usr/share/applications/eb2250-gui.desktop" || fail "Exec line"
grep -qx 'Icon=eb2250-gui' "$work/x/usr/share/applications/eb2250-gui.desktop" || fail "Icon line"
grep -q 'Categories=Development;Electronics;' "$work/x/usr/share/applications/eb2250-gui.desktop" ||
  fail "Categories line"
grep -q "idVendor}==\"0403\"" "$work/x/usr/lib/udev/rules.d/60-eb2250-bridge.rules" || fail "udev rule"

# Installed with dpkg into a throw-away root, the program runs.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg --root="$root" --force-depends --force-script-chrootless --force-not-root -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
dpkg --root="$root" -s eb2250-gui | grep -q '^Status: install ok installed' || fail "not installed"
out=$("$root/usr/bin/eb2250-gui" --version)
grep -q "^eb2250-gui $version" <<<"$out" || fail "--version said: $out"
# Read the whole text first: grep -q stops at the first match, and a
# program still writing then dies of SIGPIPE, which pipefail counts.
help=$("$root/usr/bin/eb2250-gui" --help) || fail "--help of the installed program failed"
grep -q -- '--demo' <<<"$help" || fail "--help of the installed program"
echo "package: $(basename "$deb") checked"
