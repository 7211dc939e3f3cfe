#!/usr/bin/env bash
# Builds Vantrel for Windows (scripts/windows/build.sh) and runs it under
# Wine, headless; exits non-zero on any failure:
#
#   1. the test programs built for Windows (vantrel_tests.exe): everything
#      that needs no kernel, with the windows platform plugin, and the
#      Windows-only cases: the MAC allocation file on drive C:, a unit's
#      names in the ANSI code page 1251, the receive thread's idle wake-ups;
#   2. the help through the HTML Help control, with the windows platform
#      plugin on a virtual X display;
#   3. the release archive unpacked in a fresh Wine prefix: vantrel-cli.exe
#      --help, a .dat converted to JSON and back byte for byte, the exit
#      code without a unit, and vantrel.exe and vantrel-demo.exe showing
#      their windows (a screenshot of vantrel.exe: build/windows/windows.png;
#      scripts/windows/test.sh --screenshot copies it to docs/windows.png);
#   4. the installer: silent install, the installed programs, uninstall
#      (scripts/windows/installer-test.sh);
#   5. the Windows programs against quorvex-virtual-unit through Wine's HID
#      stack inside the virtual machine (scripts/windows/vm-test.sh).
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$here/build/windows"
screenshot_to_docs=no
[ "${1:-}" = "--screenshot" ] && screenshot_to_docs=yes

archive="$(bash "$here/scripts/windows/build.sh" "$build" | tail -n 1)"
prefix="$(bash "$here/scripts/windows/deps.sh" --print-prefix)"

fail() { echo "windows test: $*" >&2; exit 1; }

# A fresh Wine prefix for each run, quiet and without the Mono and Gecko
# installers it would otherwise offer.
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree="  # no Mono; Gecko stays, the help viewer draws with it
rm -rf "$WINEPREFIX"
echo "== windows: a fresh Wine prefix"
wineboot --init >/dev/null 2>&1 || fail "wineboot --init failed"
wineserver -w

# Unix paths as Wine sees them (drive Z: is the root).
winpath() { echo "Z:${1//\//\\}"; }

# A virtual X display for everything that draws through Wine.
export DISPLAY=":$((RANDOM % 500 + 100))"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1

tests="$build/tests/vantrel_tests.exe"
[ -f "$tests" ] || fail "no $tests"
# Qt from the prefix for the test programs (Qt finds the prefix's plugins
# beside its DLLs); the archive brings its own. Wine passes no QT_*
# variable on: the tests run with the windows platform plugin on the
# virtual display.
test_env=(
  "WINEPATH=$(winpath "$prefix/bin")"
  "WINEQT_FORCE_STDERR_LOGGING=1"
)
# Cases that need Linux: bash for the completion.
linux_only="Cli.TheBashCompletionCompletesSubcommandsOptionsAndValues"

echo "== windows: unit tests"
env "${test_env[@]}" \
  wine "$tests" --gtest_brief=1 "--gtest_filter=-WindowsDesktop.*:$linux_only" \
  || fail "vantrel_tests.exe failed"

echo "== windows: a unit's names in the ANSI code page 1251"
env "${test_env[@]}" LC_ALL=ru_RU.UTF-8 \
  wine "$tests" --gtest_brief=1 "--gtest_filter=Windows.AUnitsNamesAreInTheAnsiCodePage" >"$build/acp.log" 2>&1 \
  || { cat "$build/acp.log"; fail "the code page test failed"; }
grep -q 'SKIPPED' "$build/acp.log" && { cat "$build/acp.log"; fail "Wine did not run with the code page 1251"; }

echo "== windows: help through the HTML Help control (windows platform plugin)"
env "${test_env[@]}" "VANTREL_HELP_CHM=$(winpath "$build/help/vantrel.chm")" \
  wine "$tests" --gtest_brief=1 "--gtest_filter=WindowsDesktop.*" \
  || fail "the help test failed"

echo "== windows: the archive in a fresh prefix"
unpacked="$WINEPREFIX/drive_c/vantrel"
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && unzip -q "$archive")
top="$(ls "$unpacked")"
cli="C:\\vantrel\\$top\\vantrel-cli.exe"

wine "$cli" --help >"$build/cli-help.txt" 2>&1 || { cat "$build/cli-help.txt"; fail "vantrel-cli.exe --help did not exit 0"; }
grep -q '^Usage: vantrel-cli SUBCOMMAND' "$build/cli-help.txt" || fail "vantrel-cli.exe --help printed no usage"

sample="$here/tests/fuzz/corpus/datafile/sample.dat"
work="$WINEPREFIX/drive_c/work"
mkdir -p "$work"
cp "$sample" "$work/sample.dat"
wine "$cli" convert 'C:\work\sample.dat' 'C:\work\sample.json' || fail "convert .dat -> .json failed"
wine "$cli" convert 'C:\work\sample.json' 'C:\work\again.dat' || fail "convert .json -> .dat failed"
cmp "$work/sample.dat" "$work/again.dat" || fail "the .dat did not come back byte for byte"

set +e
wine "$cli" read >"$build/cli-read.txt" 2>&1
code=$?
set -e
[ "$code" -eq 3 ] || { cat "$build/cli-read.txt"; fail "vantrel-cli.exe read without a unit exited $code, not 3"; }

# A window program is shown once a top-level X window with its title exists.
shown() {
  local title="$1" i
  for i in $(seq 1 60); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"$title" && return 0
    sleep 0.5
  done
  return 1
}
for program in vantrel vantrel-demo; do
  echo "== windows: $program.exe shows its window"
  wine "C:\\vantrel\\$top\\$program.exe" >/dev/null 2>&1 &
  shown "QUORVEX Vantrel" || fail "$program.exe showed no window"
  sleep 2
  if [ "$program" = vantrel ]; then
    import -window root "$build/screen.png"
    convert "$build/screen.png" -trim +repage "$build/windows.png"
  fi
  wineserver -k
  wineserver -w
done
if [ "$screenshot_to_docs" = yes ]; then
  cp "$build/windows.png" "$here/docs/windows.png"
fi
trap - EXIT
wineserver -k 2>/dev/null || true
kill "$xvfb" 2>/dev/null || true

echo "== windows: the installer, silently installed and removed"
bash "$here/scripts/windows/installer-test.sh" "$build" || fail "the installer test failed"
echo "== windows: through Wine's HID stack to a unit, inside the virtual machine"
bash "$here/scripts/windows/vm-test.sh" "$build" || fail "the Windows programs failed against the unit"
echo "== windows: all passed"
