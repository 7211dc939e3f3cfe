#!/usr/bin/env bash
# Boots Debian's own kernel under qemu (software emulation; no KVM needed)
# with a small busybox initramfs and a USB tablet (another HID device to
# find the unit among), shares this machine's root file system
# read-only over 9p, loads the USB gadget, HID and uhid modules, and runs
# one command as root inside the shared root. Everything the command prints
# reaches this script over the serial console; the script exits with the
# command's exit code.
#
# Usage: run-in-vm.sh [--cache DIR] [--timeout SECONDS] [--log FILE] -- COMMAND...
#
# The kernel package (the one linux-image-amd64 depends on) is fetched with
# apt-get download, unpacked with dpkg-deb -x and never installed; it is
# kept in the cache folder, so a second run does not fetch it again.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
cache="$here/build/vm-cache"
limit=600
log=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cache) cache="$2"; shift 2 ;;
    --timeout) limit="$2"; shift 2 ;;
    --log) log="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "run-in-vm: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "run-in-vm: no command given" >&2; exit 2; }

for tool in qemu-system-x86_64 busybox depmod modprobe cpio dpkg-deb apt-get; do
  command -v "$tool" >/dev/null || { echo "run-in-vm: $tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done

# ---- the kernel ------------------------------------------------------------------------
mkdir -p "$cache"
kernel_package() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}'; }
package="$(kernel_package)"
if [ -z "$package" ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update >/dev/null && package="$(kernel_package)"
fi
[ -n "$package" ] || { echo "run-in-vm: cannot tell which kernel linux-image-amd64 depends on (apt-get update?)" >&2; exit 2; }
version="${package#linux-image-}"
tree="$cache/$package"
if [ ! -f "$tree/.unpacked" ]; then
  echo "run-in-vm: fetching $package"
  rm -rf "$tree" "$cache"/*.deb
  (cd "$cache" && apt-get download "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  deb="$(ls "$cache"/"${package}"_*.deb 2>/dev/null | head -n 1)"
  [ -n "$deb" ] || { echo "run-in-vm: apt-get download $package gave no package" >&2; exit 2; }
  mkdir -p "$tree.part"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tree.part" ./boot ./lib/modules
  depmod -b "$tree.part" "$version"   # the package ships no modules.dep
  rm -f "$deb"
  mv "$tree.part" "$tree"
  touch "$tree/.unpacked"
fi
kernel="$tree/boot/vmlinuz-$version"

# ---- the initramfs ---------------------------------------------------------------------
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root"/{bin,proc,sys,dev,host,mods}
cp "$(command -v busybox)" "$root/bin/busybox"
# Modules in the order modprobe would load them. hid-generic is loaded by
# hand: without udev nothing else would.
modules=(dummy_hcd libcomposite usb_f_hid usbhid hid-generic uhid xhci_pci 9pnet_virtio 9p virtio_pci)
n=0
for m in "${modules[@]}"; do
  modprobe -d "$tree" -S "$version" --show-depends "$m" | awk '$1 == "insmod" {print $2}'
done | awk '!seen[$0]++' | while read -r ko; do
  n=$((n + 1))
  cp "$ko" "$root/mods/$(printf '%02d' "$n")-$(basename "$ko")"
done

# The command, quoted for the shell inside the machine, run in the caller's
# folder.
printf 'cd %q && ' "$PWD" > "$root/command"
printf '%q ' "$@" >> "$root/command"
# The machine's /tmp is its own (the shared root is read-only). What the
# caller's folder or the command names below the host's /tmp (a clone in
# /tmp/x, say) is shown there read-only all the same: one name per line.
for p in "$PWD" "$@"; do
  case "$p" in /tmp/?*) p="${p#/tmp/}"; printf '%s\n' "${p%%/*}" ;; esac
done | awk '!seen[$0]++' > "$root/keep"
cat > "$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in /mods/*.ko; do insmod "$m" || echo "vm: cannot load $m"; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /host || echo "vm: cannot mount the host's root"
mkdir -p /hosttmp
mount -o bind /host/tmp /hosttmp
mount -t tmpfs tmp /host/tmp
while read -r name; do
  [ -e "/hosttmp/$name" ] || continue
  if [ -d "/hosttmp/$name" ]; then mkdir -p "/host/tmp/$name"; else touch "/host/tmp/$name"; fi
  mount -o bind "/hosttmp/$name" "/host/tmp/$name" || echo "vm: cannot show /tmp/$name"
done < /keep
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
mount -t configfs none /host/sys/kernel/config
mkdir -p /host/tmp/home /host/tmp/xdg
chmod 700 /host/tmp/xdg
echo "vm: up after $(cut -d' ' -f1 /proc/uptime) s"
chroot /host /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/xdg TMPDIR=/tmp LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
  /bin/sh -c "$(cat /command)"
echo "vm: exit status $?"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1 > "$work/initrd.gz")

# ---- boot -----------------------------------------------------------------------------
out="${log:-$work/console.log}"
set +e
timeout --kill-after=10 "$limit" qemu-system-x86_64 \
  -m 1536 -smp 2 -nographic -no-reboot -nic none \
  -device qemu-xhci -device usb-tablet \
  -kernel "$kernel" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  < /dev/null 2>&1 | tr -d '\r' | tee "$out"
status=${PIPESTATUS[0]}
set -e
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "run-in-vm: the machine did not finish within $limit s" >&2
  exit 124
fi
code="$(sed -n 's/^vm: exit status \([0-9]*\)$/\1/p' "$out" | tail -n 1)"
[ -n "$code" ] || { echo "run-in-vm: the machine ended without an exit status" >&2; exit 125; }
exit "$code"
