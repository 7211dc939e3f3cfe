#!/usr/bin/env bash
# Compiles every translation unit of src/ for Windows (x86_64, MinGW-w64,
# posix thread model for std::thread and std::mutex) with -fsyntax-only,
# against the Qt 6 and hidapi headers installed on this Debian machine, so
# that the Windows-only branches (the HTML Help control, the fixed paths,
# anything under Q_OS_WIN or _WIN32) at least compile. Nothing is linked or
# run: see "Building on Windows" in the README for what this cannot catch.
#
# Every .cpp under src/ is checked, found by globbing, except the Linux-only
# programs listed in linux_only below (src/CMakeLists.txt builds them only on
# Linux). The moc output for the window is generated here and checked too.
#
# Prints one line per translation unit and a summary; exits non-zero when any
# translation unit fails or the tools are missing.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
src="$here/src"

# Built only on Linux (the virtual unit: uhid, USB gadget, poll(2)).
linux_only=(
  unit/VirtualUnitLinux.cpp
  unit/virtual_unit_main.cpp
)

cxx="${VANTREL_MINGW_CXX:-x86_64-w64-mingw32-g++-posix}"
qt_include=/usr/include/x86_64-linux-gnu/qt6
qt_mkspec=/usr/lib/x86_64-linux-gnu/qt6/mkspecs/win32-g++
qt_libexec=/usr/lib/qt6/libexec
hidapi_include=/usr/include/hidapi

missing=()
command -v "$cxx" >/dev/null 2>&1 || missing+=("$cxx (package g++-mingw-w64-x86-64)")
[ -d "$qt_include/QtWidgets" ] || missing+=("$qt_include/QtWidgets (package qt6-base-dev)")
[ -x "$qt_libexec/moc" ] && [ -x "$qt_libexec/uic" ] || missing+=("$qt_libexec/moc and uic (package qt6-base-dev-tools)")
[ -f "$hidapi_include/hidapi.h" ] || missing+=("$hidapi_include/hidapi.h (package libhidapi-dev)")
if [ "${#missing[@]}" -gt 0 ]; then
  printf 'windows-check: missing %s\n' "${missing[@]}" >&2
  echo "windows-check: run scripts/setup.sh first" >&2
  exit 2
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-windows-check.XXXXXX")"
trap 'rm -rf "$work"' EXIT
gen="$work/generated"
mkdir -p "$gen" "$work/include" "$work/logs"

# No override headers are needed: the Linux Qt headers were tried as they
# are, and nothing in them breaks a Windows compile. qsystemdetection.h
# derives Q_OS_WIN/Q_OS_WIN64 from the compiler's own _WIN32/_WIN64 (and
# leaves Q_OS_UNIX/Q_OS_LINUX undefined); the Linux-only entries of qconfig.h
# and qtcore-config.h (glib, inotify, eventfd, reduce_relocations, ...) are
# read only by Qt's private headers or under __ELF__. Of the features the
# public headers used here ask for, the one that differs on Windows is xcb:
# qguiapplication_platform.h then also declares QNativeInterface::
# QX11Application, which the code does not use. The probe below fails the
# check if Windows stops being what the headers see.
#
# hidapi: on Windows the build is given the folder that holds
# hidapi/hidapi.h (CMakeLists.txt), and nothing else of hidapi's. Here the
# same: a folder holding only a link named hidapi to Debian's hidapi folder.
# /usr/include itself must not be on the path: glibc's headers would stand in
# for ones Windows lacks (poll.h, linux/..., POSIX calls) and hide exactly the
# faults this check is for. Debian's hidapi.h is upstream's one header for
# every system; Windows adds hidapi_winapi.h, which the code does not use.
ln -s "$hidapi_include" "$work/include/hidapi"

# What Qt's CMake files add for a MinGW build (Qt6::Platform: WIN32,
# _ENABLE_EXTENDED_ALIGNED_STORAGE, WIN64, _WIN64, MINGW_HAS_SECURE_API=1,
# UNICODE, _UNICODE; the module defines), plus the project's QT_NO_KEYWORDS
# (vantrel_core in src/CMakeLists.txt).
defines=(
  -DWIN32 -D_ENABLE_EXTENDED_ALIGNED_STORAGE -DWIN64 -D_WIN64 -DMINGW_HAS_SECURE_API=1
  -DUNICODE -D_UNICODE
  -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB
  -DQT_NO_KEYWORDS
)
includes=(
  -I"$gen" -I"$src"
  -isystem "$qt_include" -isystem "$qt_include/QtCore" -isystem "$qt_include/QtGui"
  -isystem "$qt_include/QtWidgets" -isystem "$qt_mkspec"
  -isystem "$work/include"
)
flags=(-fsyntax-only -std=c++20 -Wall -Wextra -Werror)

# Generated code. uic's output does not depend on the platform. moc is given
# the Windows compiler's predefined macros, as CMake's AUTOMOC does, so its
# output is the one a Windows build would compile.
"$cxx" -std=c++20 -dM -E -x c++ /dev/null >"$gen/moc_predefs.h"
"$qt_libexec/uic" "$src/app/MainForm.ui" -o "$gen/ui_MainForm.h"
moc_sources=()
while IFS= read -r header; do
  rel="${header#"$src"/}"
  out="$gen/moc_$(basename "${rel%.h}").cpp"
  "$qt_libexec/moc" --include "$gen/moc_predefs.h" "${defines[@]}" "${includes[@]/#-isystem/-I}" \
    -f "$rel" "$header" -o "$out"
  moc_sources+=("$out")
done < <(grep -rlE --include='*.h' '\bQ_(OBJECT|GADGET|NAMESPACE)\b' "$src" | sort)

# The probe: proves the headers are read as a Windows build reads them, so
# that a change of compiler or headers cannot quietly check the Linux
# branches instead.
cat >"$gen/windows_probe.cpp" <<'CPP'
#include <QtGlobal>
#include <hidapi/hidapi.h>
#include <windows.h>
#if !defined(Q_OS_WIN) || !defined(Q_OS_WIN64) || defined(Q_OS_UNIX) || defined(Q_OS_LINUX)
#error "Qt does not see a 64-bit Windows target"
#endif
#if !defined(Q_CC_MINGW)
#error "Qt does not see MinGW"
#endif
static_assert(sizeof(long) == 4 && sizeof(void*) == 8, "not the Windows LLP64 data model");
static_assert(sizeof(wchar_t) == 2, "not Windows' 16-bit wchar_t (hidapi's strings, QString::fromWCharArray)");
CPP

units=("$gen/windows_probe.cpp")
while IFS= read -r file; do
  rel="${file#"$src"/}"
  skip=0
  for x in "${linux_only[@]}"; do [ "$rel" = "$x" ] && skip=1; done
  if [ "$skip" -eq 1 ]; then
    echo "skip  src/$rel (Linux only)"
  else
    units+=("$file")
  fi
done < <(find "$src" -name '*.cpp' -type f | sort)
for x in "${linux_only[@]}"; do
  [ -f "$src/$x" ] || echo "note: src/$x is listed as Linux only but no longer exists"
done
units+=("${moc_sources[@]}")

# One job per translation unit, run in parallel. Each job writes the
# compiler's output to a log of its own and prints one short line, so the
# jobs' output does not interleave; the logs of failed units follow.
# shellcheck disable=SC2016 # the single-quoted text is the job's own script
{
  echo '#!/usr/bin/env bash'
  printf 'file="$1"; name="${file#%q/}"; name="${name#%q/}"\n' "$here" "$work"
  printf 'log=%q/"$(printf %%s "$name" | tr / _)".log; echo "---- $name" >"$log"\n' "$work/logs"
  printf 'if %q' "$cxx"; printf ' %q' "${flags[@]}" "${defines[@]}" "${includes[@]}"
  printf ' "$file" >>"$log" 2>&1; then echo "ok    $name"; rm -f "$log"; else echo "FAIL  $name"; fi\n'
} >"$work/check-one.sh"

jobs="$(nproc 2>/dev/null || echo 2)"
start=$SECONDS
printf '%s\0' "${units[@]}" | xargs -0 -n 1 -P "$jobs" bash "$work/check-one.sh" | tee "$work/results"

total="$(grep -c '' "$work/results" || true)"
failed="$(grep -c '^FAIL' "$work/results" || true)"
for log in "$work"/logs/*.log; do
  [ -e "$log" ] && cat "$log"
done
if [ "$total" -ne "${#units[@]}" ]; then
  echo "windows compile check: FAILED: ${#units[@]} translation units, only $total reported"
  exit 1
fi
if [ "$failed" -ne 0 ]; then
  echo "windows compile check: FAILED: $failed of $total translation units do not compile for Windows"
  exit 1
fi
echo "windows compile check: all $total translation units compile for Windows ($cxx, -fsyntax-only, $((SECONDS - start)) s)"
