#!/bin/sh
# Runs inside the virtual machine, as root: the Windows test program under
# Wine, first with no unit, then with two units present before Wine starts
# (Wine does not reliably see a unit plugged in later): unit A a USB gadget,
# unit B a uhid device.
# Usage: vm-suite.sh WORK-DIR PROGRAMS-DIR QUORVEX-VIRTUAL-UNIT
set -u
work="$1"; programs="$2"; unit="$3"
winpath() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }

# The prefix must be writable: a copy in the machine's own /tmp.
cp -a "$work/prefix" /tmp/wine-prefix
export WINEPREFIX=/tmp/wine-prefix WINEDEBUG=-all
# No Mono; the fixture cfgmgr32.dll beside the programs before Wine's own.
export WINEDLLOVERRIDES="mscoree=;cfgmgr32=n,b"
bench=/tmp/bench
mkdir -p "$bench"
VANTREL_WINE_BENCH="$(winpath "$bench")"
VANTREL_WINE_CLI="$(winpath "${programs%/}/vantrel-cli.exe")"
VANTREL_FONT_DIR="$(winpath /usr/share/fonts/truetype/dejavu)"
export VANTREL_WINE_BENCH VANTREL_WINE_CLI VANTREL_FONT_DIR
status=0

# One run of the test program. Wine's output goes to a file: a Wine whose
# output is a pipe keeps it open after the program ends. Its server is
# stopped after each run, so that the next run's Wine finds the units anew.
run_tests() {
  start=$(cut -d' ' -f1 /proc/uptime)
  wine "${programs%/}/vantrel_wine_vm_tests.exe" --gtest_filter="$1" >/tmp/wine-tests.log 2>&1 || status=1
  cat /tmp/wine-tests.log
  wineserver -k
  wineserver -w
  echo "windows-vm: $1 took $(awk -v a="$start" -v b="$(cut -d' ' -f1 /proc/uptime)" 'BEGIN {printf "%.0f", b - a}') s"
}

wait_ready() {
  i=0
  while ! grep -q 'ready;' "$1" && [ $i -lt 150 ]; do sleep 0.2; i=$((i + 1)); done
  grep -q 'ready;' "$1" || { cat "$1"; echo "windows-vm: a unit did not start"; status=1; }
}

run_tests 'WineNoUnit.*'

"$unit" --serial 4711 --trace "$bench/a-trace.txt" --save "$bench/a.dat" >/tmp/unit-a.log 2>&1 &
a=$!
"$unit" --uhid --serial 4712 --trace "$bench/b-trace.txt" --save "$bench/b.dat" >/tmp/unit-b.log 2>&1 &
b=$!
wait_ready /tmp/unit-a.log
wait_ready /tmp/unit-b.log
run_tests 'WineKernel.*'
kill -INT $a $b
wait $a || status=1
wait $b || status=1
exit $status
