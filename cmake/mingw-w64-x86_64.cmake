# CMake toolchain file: cross-compile for 64-bit Windows on Debian with the
# MinGW-w64 compilers of the posix thread model (std::thread, std::mutex and
# std::condition_variable need it; the win32 model lacks them in GCC 12).
#
# scripts/windows/deps.sh builds Qt and hidapi with this file into a cache
# folder and prints that folder (the "prefix"). Vantrel is then configured
# against it with:
#
#   prefix="$(scripts/windows/deps.sh --print-prefix)"
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
#     -DCMAKE_PREFIX_PATH="$prefix" -DHIDAPI_ROOT="$prefix"
#
# Libraries, headers and packages only ever come from the MinGW-w64 sysroot
# and from the folders named in CMAKE_PREFIX_PATH or HIDAPI_ROOT, never from
# the Linux system: a Linux Qt or hidapi found by mistake would only fail at
# link time, much later.
# Programs (moc, rcc, uic, ...) are looked up on the Linux side; Qt finds
# its own host tools through QT_HOST_PATH, which the cross-built Qt records.
#
# deps.sh keys its cache on this file with comment lines left out: edit the
# comments freely, but a change to a command rebuilds Qt (about 16 minutes).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTREL_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VANTREL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTREL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTREL_MINGW_TRIPLET}-windres)

# The gcc-ar/gcc-ranlib wrappers of the same compiler (they load its LTO
# plugin). Set in the cache with full paths so CMake's own search for
# binutils keeps them, also inside try_compile projects.
find_program(VANTREL_MINGW_AR ${VANTREL_MINGW_TRIPLET}-gcc-ar-posix REQUIRED)
find_program(VANTREL_MINGW_RANLIB ${VANTREL_MINGW_TRIPLET}-gcc-ranlib-posix REQUIRED)
set(CMAKE_AR "${VANTREL_MINGW_AR}" CACHE FILEPATH "Archiver" FORCE)
set(CMAKE_RANLIB "${VANTREL_MINGW_RANLIB}" CACHE FILEPATH "Archive indexer" FORCE)
set(CMAKE_C_COMPILER_AR "${VANTREL_MINGW_AR}" CACHE FILEPATH "Archiver for LTO" FORCE)
set(CMAKE_CXX_COMPILER_AR "${VANTREL_MINGW_AR}" CACHE FILEPATH "Archiver for LTO" FORCE)
set(CMAKE_C_COMPILER_RANLIB "${VANTREL_MINGW_RANLIB}" CACHE FILEPATH "Archive indexer for LTO" FORCE)
set(CMAKE_CXX_COMPILER_RANLIB "${VANTREL_MINGW_RANLIB}" CACHE FILEPATH "Archive indexer for LTO" FORCE)

# The roots every library, header and package search is confined to: the
# MinGW-w64 sysroot and each folder the build is given in CMAKE_PREFIX_PATH
# or HIDAPI_ROOT. A search path inside a root is used as it is, and the usual
# lib/, include/ and lib/cmake/ below a root are searched too.
set(CMAKE_FIND_ROOT_PATH "/usr/${VANTREL_MINGW_TRIPLET}")
foreach(root IN LISTS CMAKE_PREFIX_PATH HIDAPI_ROOT)
  if(root)
    list(APPEND CMAKE_FIND_ROOT_PATH "${root}")
  endif()
endforeach()
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
