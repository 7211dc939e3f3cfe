#!/usr/bin/env bash
# Builds the Debian package from a Release build of the programs, checks its
# file list and its computed dependencies, installs it with apt, checks that
# the installed programs start and that the udev rule is where udev reads it,
# that vantrel-cli's man page and bash completion work, and removes the
# package again. Exits non-zero on any failure.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build/package"
jobs="$(nproc 2>/dev/null || echo 2)"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

fail() { echo "package-test: FAILED: $*" >&2; exit 1; }
step() { echo "-- package-test: $*"; }

bash "$here/scripts/setup.sh"

step "Release build of the programs and cpack (in build/package)"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/vantrel_*.deb
(cd "$build" && cpack -G DEB) >"$build/cpack.log" 2>&1 || { cat "$build/cpack.log" >&2; fail "cpack"; }
debs=("$build"/vantrel_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one vantrel_*.deb in $build, found: ${debs[*]}"
deb="${debs[0]}"
arch="$(dpkg --print-architecture)"
version="$(dpkg-deb -f "$deb" Version)"
[ "$(basename "$deb")" = "vantrel_${version}_${arch}.deb" ] || fail "file name $(basename "$deb") is not vantrel_${version}_${arch}.deb"

step "control fields"
[ "$(dpkg-deb -f "$deb" Package)" = "vantrel" ] || fail "package name is not vantrel"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "architecture is not $arch"
for field in Maintainer Description Section; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "control field $field is empty"
done
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
dep_names=" $(echo "$depends" | tr ',|' '\n\n' | sed 's/(.*//; s/:.*//; s/ //g' | grep -v '^$' | tr '\n' ' ')"
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libhidapi-hidraw0; do
  case "$dep_names" in *" $p "*) ;; *) fail "Depends does not name $p: $depends" ;; esac
done
for p in $dep_names; do
  case "$p" in *-dev|*-dev-*|*-dbg) fail "Depends names a development package ($p): $depends" ;; esac
done
# Qt opens its platform plugin with dlopen; whatever package holds it must be
# installed by the dependencies too (on Debian 12 it is libqt6gui6 itself).
xcb_owner="$(dpkg-query -S '*/qt6/plugins/platforms/libqxcb.so' | sed -n '1s/[:,].*//p')"
[ -n "$xcb_owner" ] || fail "no installed package holds Qt's xcb platform plugin"
case "$dep_names" in *" $xcb_owner "*) ;; *) fail "Depends does not name $xcb_owner, which holds Qt's xcb platform plugin" ;; esac

step "file list"
dpkg-deb -c "$deb" | awk '{print $1, $6}' | grep -v '^d' | sed 's/^[^ ]* //; s|^\./|/|' | sort >"$build/deb-files.txt"
cat "$build/deb-files.txt"
required=(
  /usr/bin/vantrel /usr/bin/vantrel-demo /usr/bin/quorvex-virtual-unit /usr/bin/vantrel-cli /usr/bin/vantrel-cli-demo
  /usr/share/applications/vantrel.desktop
  /usr/share/icons/hicolor/scalable/apps/vantrel.svg
  /usr/lib/udev/rules.d/70-quorvex.rules
  /usr/share/man/man1/vantrel-cli.1.gz
  /usr/share/bash-completion/completions/vantrel-cli
  /usr/share/vantrel/vantrel.chm
  /usr/share/vantrel/help/getting-started.html /usr/share/vantrel/help/help.css
)
for f in "${required[@]}"; do
  grep -qx "$f" "$build/deb-files.txt" || fail "the package lacks $f"
done
while read -r f; do
  case "$f" in
    /usr/bin/*/*) fail "unexpected file in the package: $f" ;;
    /usr/bin/*|/usr/share/applications/*.desktop|/usr/share/icons/hicolor/*.svg|/usr/share/icons/hicolor/*.png) ;;
    /usr/lib/udev/rules.d/*.rules|/usr/share/doc/vantrel/*|/usr/share/man/*) ;;
    /usr/share/bash-completion/completions/vantrel-cli|/usr/share/vantrel/vantrel.chm) ;;
    /usr/share/vantrel/help/*.html|/usr/share/vantrel/help/help.css) ;;
    *) fail "unexpected file in the package: $f" ;;
  esac
done <"$build/deb-files.txt"
# No rule may come after the seat rules that act on the uaccess tag.
for r in $(grep '^/usr/lib/udev/rules.d/' "$build/deb-files.txt"); do
  [[ "$(basename "$r")" < "73-seat-late.rules" ]] || fail "$(basename "$r") does not sort before 73-seat-late.rules"
done
ctrl="$build/deb-control"
rm -rf "$ctrl"; dpkg-deb -e "$deb" "$ctrl"
[ -x "$ctrl/postinst" ] || fail "postinst missing or not executable"
sh -n "$ctrl/postinst" || fail "postinst is not valid sh"

step "install with apt"
was_installed=no
if dpkg-query -W -f='${Status}' vantrel 2>/dev/null | grep -q 'install ok installed'; then was_installed=yes; fi
apt_get() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=300 -y "$@"
}
cleanup() {
  if [ "$was_installed" = no ] && dpkg-query -W -f='${Status}' vantrel 2>/dev/null | grep -q 'install ok installed'; then
    apt_get remove vantrel >/dev/null || echo "package-test: could not remove vantrel again" >&2
  fi
  rm -rf "${scratch:-}"
}
scratch="$(mktemp -d)"
trap cleanup EXIT
apt_get install --reinstall "$deb" >"$build/apt-install.log" 2>&1 || { cat "$build/apt-install.log" >&2; fail "apt-get install $deb"; }
[ "$(dpkg-query -W -f='${Version}' vantrel)" = "$version" ] || fail "installed version is not $version"

step "installed programs start"
for f in /usr/bin/vantrel /usr/bin/vantrel-demo /usr/bin/quorvex-virtual-unit /usr/bin/vantrel-cli /usr/bin/vantrel-cli-demo; do
  [ -x "$f" ] || fail "$f is not installed"
  [ "$(dpkg-query -S "$f" | sed 's/:.*//')" = "vantrel" ] || fail "$f does not belong to the package"
  if LC_ALL=C readelf -d "$f" | grep -Eq '\((RPATH|RUNPATH)\)'; then fail "$f carries an RPATH"; fi
done
# A window program that starts keeps running until the time-out (status 124);
# anything else (a missing library or plugin, a crash) is a failure. HOME is a
# scratch folder, so nothing of the real user's is read or written.
runs_until_timeout() {
  local what="$1"; shift
  local rc=0
  (cd "$scratch" && HOME="$scratch" "$@") >"$scratch/out.log" 2>&1 || rc=$?
  [ "$rc" -eq 124 ] || { cat "$scratch/out.log" >&2; fail "$what exited with status $rc instead of running until the time-out"; }
}
runs_until_timeout "vantrel (offscreen)" env QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/vantrel
runs_until_timeout "vantrel-demo (offscreen)" env QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/vantrel-demo
runs_until_timeout "vantrel (xcb under Xvfb)" env QT_QPA_PLATFORM=xcb xvfb-run -a timeout 5 /usr/bin/vantrel
/usr/bin/quorvex-virtual-unit --help >"$scratch/out.log" 2>&1 || { cat "$scratch/out.log" >&2; fail "quorvex-virtual-unit --help"; }
# --version needs no display, and a failed write of the output is a failure.
for f in /usr/bin/vantrel /usr/bin/vantrel-demo /usr/bin/quorvex-virtual-unit /usr/bin/vantrel-cli; do
  got="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$f" --version 2>&1)" || fail "$f --version: $got"
  [[ "$got" =~ ^$(basename "$f")\ [0-9][^[:space:]]*$ ]] || fail "$f --version prints '$got', not its name and version"
done
if /usr/bin/vantrel-cli --help >/dev/full 2>"$scratch/err.log"; then fail "vantrel-cli --help >/dev/full exits 0"; fi
grep -q '^vantrel-cli: write error: ' "$scratch/err.log" || fail "vantrel-cli --help >/dev/full says no write error"
# vantrel-cli needs QtCore alone and no display.
! ldd /usr/bin/vantrel-cli | grep -Eq 'libQt6(Gui|Widgets)' || fail "vantrel-cli links Qt's GUI libraries"
VANTREL_CLI_DEMO_STATE="$scratch/demo" /usr/bin/vantrel-cli-demo list >"$scratch/demo.log" 2>&1 \
  || { cat "$scratch/demo.log" >&2; fail "vantrel-cli-demo list"; }
grep -q '^\[simulated\] HID' "$scratch/demo.log" || { cat "$scratch/demo.log" >&2; fail "vantrel-cli-demo list printed no marked unit"; }
(cd "$scratch" && HOME="$scratch" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/vantrel-cli --help) \
  >"$scratch/out.log" 2>&1 || { cat "$scratch/out.log" >&2; fail "vantrel-cli --help without a display"; }

step "the help's HTML pages"
# The window hands them to the browser where the desktop has no CHM viewer:
# every page the help project lists is there, and every link between them
# leads to an installed file.
pages=/usr/share/vantrel/help
for f in $(sed -n '/^\[FILES\]/,/^\[/{/^[^[;]/p}' "$here/docs/help/vantrel.hhp"); do
  [ -f "$pages/$f" ] || fail "the help page $pages/$f is not installed"
done
for page in "$pages"/*.html; do
  for target in $(grep -o 'href="[^":]*"' "$page" | sed 's/^href="//; s/"$//; s/#.*//' | grep -v '^$' | sort -u); do
    [ -f "$pages/$target" ] || fail "$page links to $target, which is not installed"
  done
done

step "vantrel-cli's man page and bash completion"
# The completion, sourced in bash as bash-completion sources it, completes
# the subcommands and their options.
completion=/usr/share/bash-completion/completions/vantrel-cli
[ -f "$completion" ] || fail "$completion is not installed"
completes() {
  local expected="$1"; shift
  local got
  got="$(bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _vantrel_cli; echo "${COMPREPLY[*]}"' \
    _ "$completion" "$@" 2>&1)" || fail "the completion failed for '$*': $got"
  [ "$got" = "$expected" ] || fail "the completion of '$*' gives '$got', not '$expected'"
}
completes commission vantrel-cli com
completes "--dhcp" vantrel-cli write --dh
completes "on off" vantrel-cli write --broadcast ""
bash -c 'source "$1"; complete -p vantrel-cli' _ "$completion" | grep -q -- '-F _vantrel_cli vantrel-cli$' \
  || fail "$completion does not register the completion for vantrel-cli"
# man finds the page by its name, and it renders without a warning.
if ! command -v man >/dev/null; then
  apt_get install man-db >"$build/apt-man.log" 2>&1 || { cat "$build/apt-man.log" >&2; fail "apt-get install man-db"; }
fi
[ "$(man -w vantrel-cli)" = /usr/share/man/man1/vantrel-cli.1.gz ] || fail "man -w vantrel-cli does not find the page"
warnings="$(MANWIDTH=80 man --warnings -l /usr/share/man/man1/vantrel-cli.1.gz 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "vantrel-cli.1 renders with warnings: $warnings"
# Rendered once into a file: grep -q on a pipe could end man with SIGPIPE,
# which pipefail would take for a failure.
MANWIDTH=80 man -P cat vantrel-cli >"$scratch/man.txt" 2>/dev/null || fail "man vantrel-cli fails"
for section in 'EXIT STATUS' ENVIRONMENT FILES EXAMPLES 'SEE ALSO'; do
  grep -qx "$section" "$scratch/man.txt" || fail "man vantrel-cli shows no $section section"
done
grep -q 'DravonSetMACAddress/SetFullMACAddress.txt' "$scratch/man.txt" || fail "man vantrel-cli does not name the MAC allocation file"

step "udev rule"
# The folders systemd-udevd reads rules from (Debian 12: systemd 252, merged
# /usr, so /lib/udev/rules.d is the same folder as /usr/lib/udev/rules.d).
udev_dirs=(/etc/udev/rules.d /run/udev/rules.d /usr/local/lib/udev/rules.d /usr/lib/udev/rules.d)
udevadm_bin="$(command -v udevadm || true)"
rule=/usr/lib/udev/rules.d/70-quorvex.rules
[ -f "$rule" ] || fail "$rule is not installed"
rule_dir="$(dirname "$(readlink -f "$rule")")"
found=no
for d in "${udev_dirs[@]}"; do
  if [ "$rule_dir" = "$(readlink -f "$d" 2>/dev/null || echo "$d")" ]; then
    # Where udev is installed, confirm the folder from udevadm itself.
    if [ -z "$udevadm_bin" ] || grep -aq "$d" "$udevadm_bin"; then found=yes; fi
  fi
done
[ "$found" = yes ] || fail "$rule is not in a folder udev reads (${udev_dirs[*]})"
grep -Eq '^SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="04d8", ATTRS\{idProduct\}=="fd37", TAG\+="uaccess"$' "$rule" \
  || fail "$rule does not hold the unit's rule"

step "remove again"
if [ "$was_installed" = no ]; then
  apt_get remove vantrel >"$build/apt-remove.log" 2>&1 || { cat "$build/apt-remove.log" >&2; fail "apt-get remove vantrel"; }
  [ ! -e /usr/bin/vantrel ] && [ ! -e "$rule" ] && [ ! -e "$completion" ] \
    || fail "files left behind after apt-get remove vantrel"
else
  echo "vantrel was installed before this test, so it stays installed (now at $version)"
fi
echo "package-test: PASSED: $(basename "$deb") (Depends: $depends)"
