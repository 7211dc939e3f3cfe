#!/usr/bin/env bash
# Builds Vantrel for 64-bit Windows from this CMake project, with -Werror:
# vantrel.exe, vantrel-demo.exe, vantrel-cli.exe, the help and the test
# programs, against the Qt and hidapi that scripts/windows/deps.sh
# cross-builds once into its cache; then packs the release archive
# vantrel-<version>-windows-x64.zip (cmake/Packaging.cmake says what goes in)
# and the installer vantrel-<version>-setup.exe beside it, which installs
# the archive's files (scripts/windows/installer.sh, NSIS).
#
# Usage: scripts/windows/build.sh [BUILD-DIR]      (default: build/windows)
# The archive's path is the last line on standard output.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$here/build/windows}"
jobs="$(nproc 2>/dev/null || echo 2)"

prefix="$(bash "$here/scripts/windows/deps.sh")"

echo "== windows: configure and build ($build)" >&2
# MinGW-w64's GCC 12 at -O3 takes a std::string member that a
# make_shared<...>() of a defaulted struct builds for "maybe uninitialized"
# (a false positive of its inliner); it stays a warning, every other one an
# error.
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="-Wno-error=maybe-uninitialized" \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$prefix" -DHIDAPI_ROOT="$prefix" -DQT_HOST_PATH=/usr \
  -DVANTREL_WERROR=ON -DVANTREL_BUILD_BENCH=OFF -DVANTREL_VM_TESTS=OFF >&2
cmake --build "$build" -j "$jobs" >&2

echo "== windows: the release archive" >&2
rm -f "$build"/vantrel-*-windows-x64.zip
(cd "$build" && cpack -G ZIP >&2)
archive="$(ls "$build"/vantrel-*-windows-x64.zip)"

echo "== windows: the installer" >&2
rm -f "$build"/vantrel-*-setup.exe
bash "$here/scripts/windows/installer.sh" "$build" >&2
echo "$archive"
