#!/usr/bin/env bash
# Builds what Vantrel's Windows build (64-bit, MinGW-w64, posix threads)
# links against, once per machine, into a cache folder outside the clone:
#
#   1. installs the Debian packages it needs when they are missing (the cross
#      compilers, CMake, Ninja, the Linux Qt's host tools, Wine, Xvfb, ...);
#   2. fetches Debian's sources of qt6-base and hidapi with apt-get source,
#      through an apt configuration of its own (its own sources.list, lists
#      and caches below the cache folder), so the machine's apt sources and
#      lists stay as they are;
#   3. cross-builds qtbase (Core, Gui, Widgets, Test; the windows and
#      offscreen platform plugins; the windowsvista style), hidapi's Windows
#      backend and GoogleTest with cmake/mingw-w64-x86_64.cmake, and installs
#      them, with the MinGW-w64 runtime DLLs, into one prefix.
#
# The prefix is
#
#   ${VANTREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantrel}/windows/<key>
#
# where <key> names the Qt and hidapi versions and ends in a hash of what
# shapes the result: the versions, the compiler's and GoogleTest's package
# versions, the build options below and the toolchain file's commands
# (comments left out). So editing comments here or there rebuilds nothing;
# changing an option, the compiler or the toolchain builds a new prefix
# beside the old one. A prefix appears only once it is complete: everything
# is installed into a staging folder and renamed into place last. An
# interrupted build leaves its build folder behind, and the next run carries
# on from there.
#
# Usage: scripts/windows/deps.sh [--print-prefix] [--jobs N]
#   (none)          build if needed, then print the prefix (the only line on
#                   stdout; progress goes to stderr):
#                     prefix="$(scripts/windows/deps.sh)"
#   --print-prefix  print the prefix if it is built and exit 0, else say so
#                   and exit 1; installs and builds nothing
#   --jobs N        parallel compile jobs (default: VANTREL_JOBS or nproc)
#
# Logs of the build: <cache>/windows/logs/<key>/. A clean build takes about
# 16 minutes on 2 idle cores (50 on 2 cores shared with another build); the
# prefix is about 100 MB.
set -euo pipefail

here="$(cd "$(dirname "$0")/../.." && pwd)"
toolchain="$here/cmake/mingw-w64-x86_64.cmake"

qt_version=6.4.2
hidapi_version=0.13.1
triplet=x86_64-w64-mingw32
cc="$triplet-gcc-posix"
cxx="$triplet-g++-posix"

# Bump when the steps below change what ends up in the prefix in a way the
# key cannot see (a file installed differently, a new runtime DLL, ...).
recipe=1

cache="${VANTREL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vantrel}/windows"
stamp_name=vantrel-toolchain.txt

packages=(
  # The cross compilers of the posix thread model; binutils (windres) and the
  # MinGW-w64 headers and import libraries come with them.
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  cmake ninja-build perl xz-utils
  # The Linux Qt of the same version: its moc, rcc, uic and CMake packages
  # are the host tools of the cross build (QT_HOST_PATH).
  qt6-base-dev qt6-base-dev-tools
  # dpkg-source, which apt-get source unpacks with.
  dpkg-dev
  # GoogleTest's source (/usr/src/googletest), which the test programs use.
  googletest
  # Running the results: Wine (64-bit only), a virtual X display for the
  # windows platform plugin, fonts for the offscreen one; the X libraries and
  # Windows fonts Wine only recommends but a window needs.
  wine wine64 xvfb xauth fonts-dejavu-core fonts-wine
  libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 libxcomposite1
  # Packing a Windows build: the archive and the installer.
  zip nsis
)

# qtbase, cross-built as shared libraries with its host tools taken from the
# Linux Qt. Only what Vantrel and its tests use is built.
qt_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  # Qt's bundled copies: there are no Windows builds of these here.
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_png=OFF
  -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_pcre2=OFF
  # Core, Gui, Widgets and Test (QTest, used by the test programs); freetype
  # for the offscreen platform plugin, which headless tests run with.
  -DFEATURE_gui=ON
  -DFEATURE_widgets=ON
  -DFEATURE_testlib=ON
  -DFEATURE_freetype=ON
  -DFEATURE_style_windowsvista=ON
  # Not used.
  -DFEATURE_sql=OFF
  -DFEATURE_network=OFF
  -DFEATURE_printsupport=OFF
  # What configure's -no-opengl sets: FEATURE_opengl=OFF alone leaves
  # dynamic OpenGL on, and qwindowswindow.cpp then does not compile.
  -DINPUT_opengl=no
  -DFEATURE_vulkan=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_icu=OFF
  -DFEATURE_zstd=OFF
  -DFEATURE_jpeg=OFF
  -DFEATURE_androiddeployqt=OFF
  # Debian's source leaves out src/3rdparty/wintab, which tablet support in
  # the windows platform plugin needs.
  -DFEATURE_tabletevent=OFF
  # Without Direct2D, qwindows.dll does not link with DirectWrite 3 on.
  -DFEATURE_direct2d=OFF
  -DFEATURE_directwrite3=OFF
)

# hidapi's Windows backend (windows/hid.c) as hidapi.dll with its import
# library. It loads hid.dll and cfgmgr32.dll itself at run time.
hidapi_cflags=(-O2 -Wall -DNDEBUG)

# GoogleTest (gtest, gmock) as static libraries. Without pthreads: gtest's
# headers use Win32 threads on Windows, and a library built with
# GTEST_HAS_PTHREAD=1 (what its CMake picks when it finds MinGW's pthread.h)
# would not match them.
gtest_src=/usr/src/googletest
gtest_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -Dgtest_disable_pthreads=ON
)

# The MinGW-w64 runtime every C++ program of this compiler needs beside it.
runtime_dlls=(libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)

# What a finished prefix holds, checked before it is put in place.
expected_files=(
  bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll
  plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll
  plugins/styles/qwindowsvistastyle.dll
  lib/cmake/Qt6/Qt6Config.cmake lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake
  lib/cmake/Qt6Test/Qt6TestConfig.cmake
  bin/hidapi.dll lib/libhidapi.dll.a include/hidapi/hidapi.h
  lib/libgtest.a lib/libgmock.a lib/cmake/GTest/GTestConfig.cmake
)

say() { echo "deps.sh: $*" >&2; }
die() { say "$*"; exit 1; }

usage() { sed -n '/^# Usage:/,/^# Logs/p' "$0" | sed 's/^# \{0,1\}//' >&2; }

print_only=0
jobs="${VANTREL_JOBS:-$(nproc 2>/dev/null || echo 2)}"
while [ $# -gt 0 ]; do
  case "$1" in
    --print-prefix) print_only=1 ;;
    --jobs) [ $# -ge 2 ] || die "--jobs needs a number"; jobs="$2"; shift ;;
    --jobs=*) jobs="${1#--jobs=}" ;;
    -h|--help) usage; exit 0 ;;
    *) usage; die "unknown option: $1" ;;
  esac
  shift
done
case "$jobs" in ''|*[!0-9]*|0) die "--jobs wants a positive number, not '$jobs'" ;; esac

missing_packages() {
  # dpkg-query lists only known packages; anything not reported as
  # installed is missing.
  local installed
  installed="$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null |
    awk '$2 == "ii" { print $1 }')" || true
  local p
  for p in "${packages[@]}"; do
    grep -qxF "$p" <<<"$installed" || echo "$p"
  done
}

package_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }

# Everything the key stands for, one item a line.
key_text() {
  echo "recipe $recipe"
  echo "qt6-base $qt_version"
  echo "hidapi $hidapi_version"
  local p
  for p in gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev googletest; do
    echo "package $p $(package_version "$p")"
  done
  printf 'qt option %s\n' "${qt_options[@]}"
  printf 'hidapi cflag %s\n' "${hidapi_cflags[@]}"
  printf 'gtest option %s\n' "${gtest_options[@]}"
  printf 'runtime %s\n' "${runtime_dlls[@]}"
  # The toolchain file's commands, without comment lines and blank lines.
  grep -vE '^[[:space:]]*(#|$)' "$toolchain" | sed 's/^/toolchain /'
}

prefix_for_key() {
  local hash
  hash="$(key_text | sha256sum | cut -c1-12)"
  echo "$cache/qt-${qt_version}_hidapi-${hidapi_version}_$hash"
}

if [ "$print_only" -eq 1 ]; then
  if [ -n "$(missing_packages)" ]; then
    die "not built: packages are missing; run scripts/windows/deps.sh"
  fi
  prefix="$(prefix_for_key)"
  [ -f "$prefix/$stamp_name" ] || die "not built: $prefix; run scripts/windows/deps.sh"
  echo "$prefix"
  exit 0
fi

# 1. Packages.
mapfile -t missing < <(missing_packages)
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  say "installing: ${missing[*]}"
  # Waits for another apt holding dpkg's lock rather than fail.
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 update >&2
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}" >&2
fi

# The host tools must be the same Qt version as the one cross-built.
host_qt="$(package_version qt6-base-dev-tools)"
case "$host_qt" in
  "$qt_version"+*|"$qt_version"-*) ;;
  *) die "the Linux Qt is $host_qt, but its tools must be Qt $qt_version to build Qt $qt_version" ;;
esac

prefix="$(prefix_for_key)"
key="$(basename "$prefix")"

mkdir -p "$cache"
exec 9>"$cache/.lock"
if ! flock -n 9; then
  say "waiting for another deps.sh to finish (lock $cache/.lock)"
  flock 9
fi

if [ -f "$prefix/$stamp_name" ]; then
  echo "$prefix"
  exit 0
fi
if [ -e "$prefix" ]; then
  # Only a rename puts a prefix in place, stamp included; this one was
  # left by something else.
  say "removing $prefix: it has no $stamp_name, so it is not a finished build"
  rm -rf "$prefix"
fi

work="$cache/build-$key"
logs="$cache/logs/$key"
stage="$work/stage"
# Build folders of other keys are interrupted builds nobody resumes (the
# lock rules out one in progress); at a few GB each, they go.
for old in "$cache"/build-*; do
  if [ -d "$old" ] && [ "$old" != "$work" ]; then
    say "removing the interrupted build $old"
    rm -rf "$old"
  fi
done
mkdir -p "$work" "$logs"
started=$SECONDS
say "building $prefix"
say "work folder $work, logs in $logs"

# Runs a command or function with its output in a log; on failure shows the
# log's end and stops. The subshell keeps errexit working inside functions
# (bash ignores it in a function called as an if condition).
step() {
  local name="$1" what="$2" status
  shift 2
  local log="$logs/$name.log"
  say "$what"
  set +e
  (set -e; "$@") >"$log" 2>&1
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    say "FAILED ($status): $what"
    say "last lines of $log:"
    tail -n 40 "$log" >&2
    exit 1
  fi
}

# 2. Sources, fetched once into <cache>/sources and kept for later keys.
sources="$cache/sources"
apt_dir="$cache/apt"

# Prints "signed-by<TAB>uri<TAB>suite<TAB>components" for each enabled
# binary ("deb") entry of the apt source files given: one-line lists and
# deb822 .sources files.
list_deb_entries() {
  awk '
    function flush(   i, j, nu, ns, u, s) {
      if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no") {
        nu = split(uris, u, " "); ns = split(suites, s, " ")
        for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++)
          printf "%s\t%s\t%s\t%s\n", signed, u[i], s[j], comps
      }
      types = uris = suites = comps = signed = enabled = ""
    }
    FNR == 1 { flush(); deb822 = (FILENAME ~ /\.sources$/) }
    /^[ \t]*#/ { next }
    !deb822 {
      if ($1 != "deb") next
      signed = ""; n = 2
      if ($2 ~ /^\[/) {
        opts = ""
        for (; n <= NF; n++) { opts = opts " " $n; if ($n ~ /\]$/) { n++; break } }
        if (match(opts, /signed-by=[^] ]+/)) signed = substr(opts, RSTART + 10, RLENGTH - 10)
      }
      comps = ""
      for (i = n + 2; i <= NF; i++) comps = comps (comps == "" ? "" : " ") $i
      printf "%s\t%s\t%s\t%s\n", signed, $n, $(n + 1), comps
      next
    }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { next }  # a continuation line (an inline key): not needed
    {
      field = tolower($1); sub(/:$/, "", field)
      value = $0; sub(/^[^:]*:[ \t]*/, "", value)
      if (field == "types") types = value
      else if (field == "uris") uris = value
      else if (field == "suites") suites = value
      else if (field == "components") comps = value
      else if (field == "signed-by") signed = value
      else if (field == "enabled") enabled = value
    }
    END { flush() }
  ' "$@"
}

# A sources.list with a deb-src line for each of the machine's bookworm
# (and bookworm-updates, bookworm-security) deb lines.
write_private_sources_list() {
  local SourceList="" SourceParts="" files=() f
  eval "$(apt-config shell SourceList Dir::Etc::SourceList/f SourceParts Dir::Etc::SourceParts/d)"
  for f in "$SourceList" "$SourceParts"*.list "$SourceParts"*.sources; do
    [ -f "$f" ] && files+=("$f")
  done
  [ "${#files[@]}" -gt 0 ] || die "no apt sources found on this machine"
  list_deb_entries "${files[@]}" | awk -F'\t' '
    $3 ~ /^bookworm(-updates|-security)?$/ {
      # An inline key (no file name) is left to apt'"'"'s trusted keys.
      opts = ($1 ~ /\//) ? "[signed-by=" $1 "] " : ""
      printf "deb-src %s%s %s %s\n", opts, $2, $3, $4
    }' | sort -u >"$apt_dir/sources.list.new"
  [ -s "$apt_dir/sources.list.new" ] ||
    die "none of the machine's apt sources (${files[*]}) has a deb line for bookworm"
  mv "$apt_dir/sources.list.new" "$apt_dir/sources.list"
}

# Newest downloaded .dsc of a source package with the given upstream version.
find_dsc() {
  [ -d "$sources" ] || return 0
  find "$sources" -maxdepth 1 -name "${1}_${2}[-+]*.dsc" -printf '%f\n' | sort -V | tail -n 1
}

fetch_sources() {
  mkdir -p "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" \
    "$apt_dir/sources.list.d" "$sources"
  write_private_sources_list
  local apt_opts=(
    -o Dir::Etc::SourceList="$apt_dir/sources.list"
    -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
    -o Dir::State="$apt_dir/state"
    -o Dir::State::status=/var/lib/dpkg/status
    -o Dir::Cache="$apt_dir/cache"
  )
  # The cache usually lies in a home folder apt's download user cannot
  # enter; as root, download as root rather than be warned about it.
  [ "$(id -u)" -ne 0 ] || apt_opts+=(-o APT::Sandbox::User=root)
  apt-get "${apt_opts[@]}" update
  # Downloaded into a folder of its own, moved next to the others only
  # when complete.
  local download="$sources/.download"
  rm -rf "$download"
  mkdir -p "$download"
  (cd "$download" && apt-get "${apt_opts[@]}" source --download-only qt6-base hidapi)
  mv "$download"/* "$sources"/
  rmdir "$download"
}

qt_dsc="$(find_dsc qt6-base "$qt_version")"
hidapi_dsc="$(find_dsc hidapi "$hidapi_version")"
if [ -z "$qt_dsc" ] || [ -z "$hidapi_dsc" ]; then
  step apt-source "fetching the sources of qt6-base and hidapi (apt-get source, own apt configuration in $apt_dir)" \
    fetch_sources
  qt_dsc="$(find_dsc qt6-base "$qt_version")"
  hidapi_dsc="$(find_dsc hidapi "$hidapi_version")"
  [ -n "$qt_dsc" ] || die "Debian offers no qt6-base $qt_version source: $(ls "$sources")"
  [ -n "$hidapi_dsc" ] || die "Debian offers no hidapi $hidapi_version source: $(ls "$sources")"
fi

# Unpacks a source package (Debian's patches applied) once per build folder;
# dpkg-source checks the files against the .dsc's checksums.
unpack() {
  local dsc="$1" dest="$2"
  [ -d "$dest" ] && return 0
  rm -rf "$dest.partial"
  mkdir -p "$(dirname "$dest")"
  dpkg-source -x "$sources/$dsc" "$dest.partial"
  mv "$dest.partial" "$dest"
}
unpack_both() {
  unpack "$qt_dsc" "$work/src/qtbase"
  unpack "$hidapi_dsc" "$work/src/hidapi"
}
step unpack "unpacking $qt_dsc and $hidapi_dsc" unpack_both

# 3a. qtbase. The install prefix is the final one (Qt records it); the files
# go to the staging folder through DESTDIR.
rm -rf "$stage"
step qtbase-configure "configuring qtbase" \
  cmake -S "$work/src/qtbase" -B "$work/qtbase-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" "${qt_options[@]}"
step qtbase-build "building qtbase with $jobs jobs (about 16 minutes on 2 cores; tail -f $logs/qtbase-build.log)" \
  cmake --build "$work/qtbase-build" --parallel "$jobs"
step qtbase-install "installing qtbase into the staging folder" \
  env DESTDIR="$stage" cmake --install "$work/qtbase-build"
out="$stage$prefix"

# 3b. hidapi, laid out as find_path(hidapi/hidapi.h ... PATH_SUFFIXES include)
# and find_library(hidapi ... PATH_SUFFIXES lib) below HIDAPI_ROOT expect.
build_hidapi() {
  local src="$work/src/hidapi" build="$work/hidapi-build"
  rm -rf "$build"
  mkdir -p "$build" "$out/bin" "$out/lib" "$out/include/hidapi"
  "$triplet-windres" -I"$src/hidapi" -O coff -i "$src/windows/hidapi.rc" -o "$build/hidapi-rc.o"
  "$cc" "${hidapi_cflags[@]}" -shared -I"$src/hidapi" -I"$src/windows" \
    "$src/windows/hid.c" "$build/hidapi-rc.o" \
    -o "$build/hidapi.dll" -Wl,--out-implib,"$build/libhidapi.dll.a"
  install -m 644 "$build/hidapi.dll" "$out/bin/"
  install -m 644 "$build/libhidapi.dll.a" "$out/lib/"
  install -m 644 "$src/hidapi/hidapi.h" "$out/include/hidapi/"
  if [ -f "$src/windows/hidapi_winapi.h" ]; then
    install -m 644 "$src/windows/hidapi_winapi.h" "$out/include/hidapi/"
  fi
}
step hidapi "building hidapi (windows/hid.c)" build_hidapi

# 3c. GoogleTest.
step gtest-configure "configuring GoogleTest ($gtest_src)" \
  cmake -S "$gtest_src" -B "$work/gtest-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" "${gtest_options[@]}"
step gtest-build "building GoogleTest" cmake --build "$work/gtest-build" --parallel "$jobs"
step gtest-install "installing GoogleTest into the staging folder" \
  env DESTDIR="$stage" cmake --install "$work/gtest-build"

# 3d. The compiler's runtime DLLs beside Qt's, so that bin/ is all a
# program needs on its search path.
copy_runtime() {
  local dll path
  for dll in "${runtime_dlls[@]}"; do
    path="$("$cxx" -print-file-name="$dll")"
    [ -f "$path" ] || { echo "$cxx does not know where $dll is"; return 1; }
    echo "$path"
    install -m 644 "$path" "$out/bin/"
  done
}
step runtime "copying the MinGW-w64 runtime DLLs" copy_runtime

missing_files=()
for f in "${expected_files[@]}" "${runtime_dlls[@]/#/bin/}"; do
  [ -f "$out/$f" ] || missing_files+=("$f")
done
[ "${#missing_files[@]}" -eq 0 ] || die "the build lacks ${missing_files[*]} (work folder $work kept)"

{
  echo "# Built by scripts/windows/deps.sh on $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - started)) s."
  echo "# Debian sources: $qt_dsc $hidapi_dsc"
  echo "# Key:"
  key_text
} >"$out/$stamp_name"

mv "$out" "$prefix"
rm -rf "$work"
say "built in $((SECONDS - started)) s"
echo "$prefix"
