#!/usr/bin/env bash
# Sets up the machine, builds everything warning-free and runs every test
# (the end-to-end tests in a virtual machine and the soak among them); then
# builds once more with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test again but those two; then the further checks below.
# Exits non-zero on any failure.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

bash "$here/scripts/setup.sh"

# run_suite NAME CTEST-LABELS-TO-LEAVE-OUT CMAKE-OPTIONS...
run_suite() {
  local name="$1" exclude="$2"; shift 2
  local dir="$here/build/$name"
  echo "== $name: configure and build"
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  echo "== $name: tests"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 120 ${exclude:+-LE "$exclude"})
}

run_suite checked ""
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
LSAN_OPTIONS="suppressions=$here/scripts/lsan-third-party.supp:print_suppressions=0" \
  run_suite sanitized "soak" -DVANTREL_SANITIZE=ON -DVANTREL_BUILD_BENCH=OFF -DVANTREL_VM_TESTS=OFF
echo "== threads under ThreadSanitizer"; bash "$here/scripts/tsan.sh"
echo "== fuzzing"; bash "$here/scripts/fuzz.sh" --seconds 30
echo "== package"; bash "$here/scripts/package-test.sh"
echo "== windows"; bash "$here/scripts/windows/test.sh"
echo "== all tests passed"
