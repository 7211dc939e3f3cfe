#!/usr/bin/env bash
# Installs everything Vantrel needs to build, test and take screenshots on
# Debian 12. Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libhidapi-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-apps imagemagick
  fonts-wine fonts-dejavu-core fontconfig
  qemu-system-x86 busybox-static cpio kmod
  dpkg-dev fp-utils
  g++-mingw-w64-x86-64
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  # Another apt (unattended upgrades, a second set-up) may hold dpkg's lock:
  # wait for it rather than fail.
  $SUDO apt-get -o DPkg::Lock::Timeout=300 update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"
fi

# fonts-wine ships a free Tahoma in a folder fontconfig does not search by
# default; make it visible so the window shows its intended font.
conf=/etc/fonts/conf.d/60-vantrel-wine-fonts.conf
if [ -d /usr/share/wine/fonts ] && [ ! -f "$conf" ]; then
  $SUDO tee "$conf" >/dev/null <<'XML'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/wine/fonts</dir>
</fontconfig>
XML
  $SUDO fc-cache -f >/dev/null 2>&1 || true
fi
