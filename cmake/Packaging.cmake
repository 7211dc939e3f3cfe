# Installation, the Debian package and the Windows archive.
#
# Linux: `cmake --install` puts the programs in bin/, the desktop entry and
# the icon in share/, and the unit's udev rule in lib/udev/rules.d/.
# `cpack -G DEB` in a build folder turns the same files into
# vantrel_<version>_<arch>.deb, whose dependencies dpkg-shlibdeps computes
# from the programs themselves. scripts/package-test.sh builds, checks and
# installs that package.
#
# Windows: everything goes into one folder, the programs beside the Qt,
# hidapi and compiler run-time DLLs they load and Qt's plugins below it;
# `cpack` turns it into vantrel-<version>-windows-x64.zip
# (scripts/windows/build.sh).

include(GNUInstallDirs)

set(_vantrel_packaging "${PROJECT_SOURCE_DIR}/packaging")

# The programs; one that this configuration does not build (or that is yet to
# come) is left out rather than failing the install.
set(VANTREL_INSTALLED_PROGRAMS vantrel vantrel-demo quorvex-virtual-unit vantrel-cli vantrel-cli-demo)
if(WIN32)
  set(_vantrel_bindir .)
else()
  set(_vantrel_bindir ${CMAKE_INSTALL_BINDIR})
endif()
foreach(_program IN LISTS VANTREL_INSTALLED_PROGRAMS)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${_vantrel_bindir})
  endif()
endforeach()

# The help: beside the programs on Windows, where the window looks for it;
# on Linux in the package's data folder, where the installed window finds it,
# with its HTML pages in help/ beside it for a desktop without a CHM viewer.
if(VANTREL_HAVE_HELP)
  if(WIN32)
    install(FILES "${VANTREL_HELP_CHM}" DESTINATION ${_vantrel_bindir})
  else()
    install(FILES "${VANTREL_HELP_CHM}" DESTINATION ${CMAKE_INSTALL_DATADIR}/vantrel)
    install(FILES ${VANTREL_HELP_PAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/vantrel/help)
  endif()
endif()

if(WIN32)
  # What the programs load, found where the Windows prefix has it
  # (scripts/windows/deps.sh): Qt's DLLs, the platform plugin and the
  # native style, hidapi, and the compiler's run-time DLLs.
  install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
    DESTINATION ${_vantrel_bindir})
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
  install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
  foreach(_dll hidapi.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    string(MAKE_C_IDENTIFIER "VANTREL_DLL_${_dll}" _var)
    find_file(${_var} ${_dll} HINTS "${HIDAPI_ROOT}" PATH_SUFFIXES bin REQUIRED)
    install(FILES "${${_var}}" DESTINATION ${_vantrel_bindir})
  endforeach()
  install(FILES "${_vantrel_packaging}/windows/README.txt" DESTINATION ${_vantrel_bindir})

  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_NAME "vantrel")
  set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
  set(CPACK_PACKAGE_FILE_NAME "vantrel-${PROJECT_VERSION}-windows-x64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

# The rest (desktop entry, icon, udev rule, Debian package) is for Linux.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

install(FILES "${_vantrel_packaging}/vantrel.desktop"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${_vantrel_packaging}/vantrel.svg"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The udev rule that lets the person at the desk open the unit without root.
# Debian 12's udevd reads /etc, /run, /usr/local/lib and /usr/lib
# udev/rules.d (with /lib a link to /usr/lib on its merged /usr), so the rule
# goes below the prefix: /usr/lib/udev/rules.d for the package and for
# --prefix /usr, /usr/local/lib/udev/rules.d for the default prefix. For
# another prefix set VANTREL_UDEV_RULES_DIR to one of those folders. The name
# sorts before 73-seat-late.rules, which acts on the uaccess tag.
set(VANTREL_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
  "Where the udev rule goes; relative paths are below the install prefix")
install(FILES "${_vantrel_packaging}/70-quorvex.rules"
  DESTINATION ${VANTREL_UDEV_RULES_DIR})

# vantrel-cli's man page (gzipped) and bash completion, which src/cli makes
# at build time from the program's own tables (the target vantrel_cli_docs).
# bash-completion loads a command's completion from this folder by its name.
if(TARGET vantrel_cli_docs)
  get_target_property(_vantrel_cli_man vantrel_cli_docs VANTREL_MAN_PAGE)
  get_target_property(_vantrel_cli_completion vantrel_cli_docs VANTREL_BASH_COMPLETION)
  install(FILES "${_vantrel_cli_man}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES "${_vantrel_cli_completion}" DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

# --- The Debian package ------------------------------------------------------
set(VANTREL_PACKAGE_MAINTAINER "Vantrel developers <vantrel@example.org>" CACHE STRING
  "Maintainer line of the Debian package")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "QUORVEX")
set(CPACK_PACKAGE_CONTACT "${VANTREL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "commissioning tool for QUORVEX network I/O units")
# The summary above is the first line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Vantrel reads a QUORVEX unit's configuration over USB (addresses, names,
port, client connection, analogue hysteresis, channel inversion and start
state), writes a checked configuration to it, keeps configurations in .dat
files and gives a unit its MAC address from the site's allocation file.
.
The package holds the tool (vantrel), the same window wired to a simulated
unit (vantrel-demo), the tool for terminals and scripts (vantrel-cli), a
virtual unit for a Linux kernel's USB gadget or uhid (quorvex-virtual-unit),
and a udev rule that lets the person at the desk open the unit without
root.")

set(CPACK_DEBIAN_PACKAGE_NAME "vantrel")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")   # vantrel_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")

# Dependencies come from the programs' own shared libraries (dpkg-shlibdeps,
# from dpkg-dev), never from a hand-written list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A viewer for the help file, vantrel.chm, which the desktop opens with it;
# without one the window hands the HTML pages to the browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xchm | kchmviewer | okular")

# Qt loads its platform plugin (xcb on the desktop) with dlopen, which
# dpkg-shlibdeps cannot see. Ask dpkg which package holds the plugin and which
# holds libQt6Gui: on Debian 12 both are libqt6gui6, which the shlibdeps list
# already names, so nothing is added. Where they differ the plugin's package
# is added here, still derived from the machine rather than typed.
set(_vantrel_extra_depends "")
find_program(VANTREL_DPKG_QUERY dpkg-query)
# The Debian package that holds a file, or "" when none does.
function(_vantrel_dpkg_owner file out)
  get_filename_component(real "${file}" REALPATH)
  execute_process(COMMAND ${VANTREL_DPKG_QUERY} -S "${real}"
    OUTPUT_VARIABLE owner ERROR_QUIET RESULT_VARIABLE rc
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  # "libqt6gui6:amd64: /usr/lib/..." -> libqt6gui6
  string(REGEX REPLACE "[:,].*" "" owner "${owner}")
  if(NOT rc EQUAL 0)
    set(owner "")
  endif()
  set(${out} "${owner}" PARENT_SCOPE)
endfunction()
if(VANTREL_DPKG_QUERY AND TARGET Qt6::Gui)
  get_target_property(_vantrel_qtgui Qt6::Gui LOCATION)
  _vantrel_dpkg_owner("${_vantrel_qtgui}" _vantrel_gui_package)
  _vantrel_dpkg_owner("${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms/libqxcb.so"
    _vantrel_xcb_package)
  if(_vantrel_xcb_package STREQUAL "")
    message(STATUS "Qt's xcb platform plugin belongs to no Debian package; the package will not name it")
  elseif(NOT _vantrel_xcb_package STREQUAL _vantrel_gui_package)
    set(_vantrel_extra_depends "${_vantrel_xcb_package}")
  endif()
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_vantrel_extra_depends}")

# Debian's udev has no dpkg trigger for rules files: the postinst asks a
# running udev to apply the rule to a unit that is already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${_vantrel_packaging}/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
