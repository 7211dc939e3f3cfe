#!/usr/bin/env bash
# Builds the tests that start the receive thread with ThreadSanitizer
# (Debian's clang 14, -fsanitize=thread) in build/tsan and runs them: the
# read, write and MAC exchanges, finding the unit, link loss, shutdown, the
# fault table and the receive thread's own tests (the target
# vantrel_thread_tests in tests/CMakeLists.txt names their files). Stops at
# the first report and exits non-zero.
#
# Qt, glib and GoogleTest come from Debian and are not instrumented: the
# sanitizer sees their calls into the C library (locks, allocation, file
# descriptors) but not their own atomics and futexes. scripts/tsan-qt.supp
# suppresses what that makes it report inside Qt, each entry with its
# reason; nothing of the project's own code is suppressed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$here/build/tsan"
jobs="$(nproc 2>/dev/null || echo 2)"

command -v clang++-14 >/dev/null 2>&1 || { echo "tsan: clang++-14 is missing; run scripts/setup.sh" >&2; exit 2; }

echo "== tsan: configure and build (clang++-14, -fsanitize=thread)"
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 \
  -DVANTREL_TSAN=ON -DVANTREL_BUILD_BENCH=OFF -DVANTREL_VM_TESTS=OFF >/dev/null
cmake --build "$dir" -j "$jobs" --target vantrel_thread_tests

echo "== tsan: tests"
QT_QPA_PLATFORM=offscreen \
TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$here/scripts/tsan-qt.supp:print_suppressions=0" \
  "$dir/tests/vantrel_thread_tests" --gtest_brief=1
echo "== tsan: no data race"
