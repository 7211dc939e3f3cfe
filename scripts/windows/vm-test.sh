#!/usr/bin/env bash
# The Windows programs against a unit: vantrel-cli.exe and the window,
# built for Windows, under Wine inside the virtual machine that
# scripts/vm/run-in-vm.sh boots (Debian's kernel), against
# quorvex-virtual-unit through Wine's HID stack (winebus.sys on hidraw),
# SetupAPI, hid.dll and hidapi's Windows backend. Exits non-zero when a
# request or a reply differs from what the unit traced, or anything else
# fails (tests/vm/test_wine_end_to_end.cpp says what is checked).
#
# Usage: scripts/windows/vm-test.sh [WINDOWS-BUILD-DIR]   (default: build/windows)
#
# The programs are the release archive's, unpacked; beside them lie the
# test program and a test fixture: a cfgmgr32.dll of our own with the few
# calls hidapi looks up that Wine 8.0 lacks (tests/wine/cfgmgr32.cpp). It
# is never packed: this script fails when the archive holds one.
#
# The unit runs on Linux: quorvex-virtual-unit comes from the Linux build
# ($VANTREL_LINUX_BUILD, default build/checked), built here if missing.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$here/build/windows}"
linux="${VANTREL_LINUX_BUILD:-$here/build/checked}"
work="$build/wine-vm"

fail() { echo "windows vm test: $*" >&2; exit 1; }

archive="$(ls "$build"/vantrel-*-windows-x64.zip 2>/dev/null | head -n 1)"
[ -n "$archive" ] || fail "no release archive in $build (scripts/windows/build.sh makes it)"
if unzip -Z1 "$archive" | grep -qi 'cfgmgr32'; then
  fail "$archive holds a cfgmgr32.dll: the test fixture must never be packed"
fi
fixture="$build/tests/wine-fixture/cfgmgr32.dll"
tests="$build/tests/vantrel_wine_vm_tests.exe"
for f in "$fixture" "$tests"; do [ -f "$f" ] || fail "no $f (scripts/windows/build.sh builds it)"; done
prefix="$(bash "$here/scripts/windows/deps.sh" --print-prefix)"

unit="$linux/src/unit/quorvex-virtual-unit"
if [ ! -x "$unit" ]; then
  echo "== windows vm: building quorvex-virtual-unit in $linux"
  [ -f "$linux/build.ninja" ] || cmake -S "$here" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$linux" --target quorvex-virtual-unit >/dev/null
fi

rm -rf "$work" && mkdir -p "$work/programs"
echo "== windows vm: the archive, the test program and the fixture"
(cd "$work/programs" && unzip -q "$archive")
programs="$(ls -d "$work"/programs/*/)"
cp "$tests" "$fixture" "$prefix/bin/Qt6Test.dll" "$programs"
# The test program draws its windows offscreen: no X display in the machine.
cp "$prefix/plugins/platforms/qoffscreen.dll" "$programs/platforms/"

# A Wine prefix made here and copied into the machine: one made inside it
# takes minutes under software emulation. Wine's hidraw bus starts only once
# its SDL bus is off (libSDL2 is not installed here). Files the same as
# Wine's own DLLs become links to them, which leaves 19 MB of 700 to copy.
echo "== windows vm: a Wine prefix"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree="
wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot --init failed"; }
wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v 'Enable SDL' /t REG_DWORD /d 0 /f \
  >"$work/reg.log" 2>&1 || { cat "$work/reg.log"; fail "the winebus setting could not be made"; }
wineserver -w
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
find "$WINEPREFIX/drive_c" -type f -print0 | while IFS= read -r -d '' f; do
  own="$wine_dlls/$(basename "$f")"
  if [ -f "$own" ] && cmp -s "$f" "$own"; then ln -sf "$own" "$f"; fi
done

echo "== windows vm: the machine"
set +e
bash "$here/scripts/vm/run-in-vm.sh" --timeout 1200 --log "$work/console.log" -- \
  sh "$here/scripts/windows/vm-suite.sh" "$work" "$programs" "$unit" >/dev/null
status=$?
set -e
grep -E '^(vm-test |measured: |windows-vm: |vm: |\[  FAILED|.*Failure$|Expected|  Actual|Value of|Which is)' "$work/console.log" || true
[ "$status" -eq 0 ] || fail "the Windows programs failed against the unit (exit $status; $work/console.log)"
grep -q '^vm-test PASS WineKernel.CommissionBothUnitsAtOnce' "$work/console.log" || fail "the last test did not pass"
echo "== windows vm: passed"
