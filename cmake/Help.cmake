# The operator help: docs/help compiled into vantrel.chm with chmcmd, the CHM
# compiler of Free Pascal (Debian package fp-utils).
#
# include(cmake/Help.cmake) sets, in the including scope:
#   VANTREL_HELP_CHM   ${CMAKE_BINARY_DIR}/help/vantrel.chm, where the help is built
#   VANTREL_HAVE_HELP  ON when chmcmd was found and the target vantrel_chm exists
#   VANTREL_HELP_PAGES the help's HTML pages and what they show (style sheet,
#                      pictures) in docs/help: what a browser shows off Windows
#                      when the desktop has no CHM viewer
# and, when chmcmd is found, adds the target vantrel_chm (part of "all") that
# builds VANTREL_HELP_CHM. Without chmcmd the help is left out with a status
# message and the rest of the build is unchanged. vantrel_help_beside(<target>)
# (below) puts a copy beside a program in the build tree, the pages off
# Windows in help/ beside it, where the window looks for them.
#
# chmcmd writes the .chm into its working folder. So every build copies the
# help sources into a fresh staging folder in the build tree and compiles
# there: the source tree stays clean, and a page removed from docs/help is
# gone from the staging folder too. Any source file changed, added or removed
# rebuilds the help (the file list is globbed with CONFIGURE_DEPENDS).
#
# chmcmd reports a missing file or a broken link only as a warning and still
# exits with 0, and a file it cannot open ends it half-way with a partly
# written .chm. The compile step therefore runs through this same file as a
# script (cmake -P, below): any "Warning:" or "Error:" from chmcmd, or a
# non-zero exit, fails the build and leaves no vantrel.chm behind.
#
# Two builds of the same sources differ only in two 4-byte time stamps:
# chmcmd writes the compile time into the file's header (offset 0x10) and
# into its #SYSTEM record, and has no option to fix it.

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  # Script mode: cmake -DCHMCMD=<chmcmd> -DSTAGE=<folder holding vantrel.hhp>
  #              -DOUTPUT=<where the .chm goes> -P Help.cmake
  foreach(_var CHMCMD STAGE OUTPUT)
    if("${${_var}}" STREQUAL "")
      message(FATAL_ERROR "Help.cmake: -D${_var}=... is missing")
    endif()
  endforeach()
  file(REMOVE "${OUTPUT}" "${STAGE}/vantrel.chm")
  execute_process(COMMAND "${CHMCMD}" vantrel.hhp
    WORKING_DIRECTORY "${STAGE}"
    RESULT_VARIABLE _rc
    OUTPUT_VARIABLE _out
    ERROR_VARIABLE _err)
  # chmcmd prints notes, warnings, errors and always its banner; only the
  # warnings and errors (and a run-time error's report) matter.
  string(REPLACE "\r" "" _report "\n${_out}\n${_err}")
  string(REGEX MATCHALL "\n(Warning|Error|E[A-Za-z]*Error|An unhandled exception)[^\n]*" _problems "${_report}")
  string(REPLACE "\n" "" _problems "${_problems}")
  if(NOT _rc EQUAL 0 OR NOT _problems STREQUAL "" OR NOT EXISTS "${STAGE}/vantrel.chm")
    file(REMOVE "${STAGE}/vantrel.chm")
    list(JOIN _problems "\n  " _problems)
    message(FATAL_ERROR "chmcmd could not build vantrel.chm cleanly (exit code ${_rc}):\n  ${_problems}")
  endif()
  file(COPY_FILE "${STAGE}/vantrel.chm" "${OUTPUT}")
  return()
endif()

set(VANTREL_HELP_CHM "${CMAKE_BINARY_DIR}/help/vantrel.chm")
set(VANTREL_HAVE_HELP OFF)
set(VANTREL_HELP_PAGES "")

# vantrel_help_beside(<target>): keeps a copy of the help beside <target>'s
# program in the build tree, where the program looks for it, so that a program
# started from the build folder offers "Help". Unlike a POST_BUILD copy it is
# refreshed whenever the help changes, also when the program is not relinked
# (the copy runs on every build and only copies a changed file). Does nothing
# without chmcmd.
function(vantrel_help_beside target)
  if(NOT VANTREL_HAVE_HELP)
    return()
  endif()
  set(_pages_copy "")
  if(NOT WIN32 AND VANTREL_HELP_PAGES)
    set(_pages_copy
      COMMAND "${CMAKE_COMMAND}" -E make_directory "$<TARGET_FILE_DIR:${target}>/help"
      COMMAND "${CMAKE_COMMAND}" -E copy_if_different ${VANTREL_HELP_PAGES} "$<TARGET_FILE_DIR:${target}>/help")
  endif()
  add_custom_target(${target}_help_copy ALL
    COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${VANTREL_HELP_CHM}" "$<TARGET_FILE_DIR:${target}>/vantrel.chm"
    ${_pages_copy}
    DEPENDS vantrel_chm
    VERBATIM)
endfunction()

find_program(VANTREL_CHMCMD chmcmd DOC "chmcmd, the CHM compiler (Debian package fp-utils)")
if(NOT VANTREL_CHMCMD)
  message(STATUS "chmcmd not found (Debian package fp-utils): the help file vantrel.chm is not built")
  return()
endif()

set(_vantrel_help_dir "${CMAKE_CURRENT_LIST_DIR}/../docs/help")
get_filename_component(_vantrel_help_dir "${_vantrel_help_dir}" ABSOLUTE)
if(NOT EXISTS "${_vantrel_help_dir}/vantrel.hhp")
  message(FATAL_ERROR "The help project ${_vantrel_help_dir}/vantrel.hhp is missing")
endif()
file(GLOB _vantrel_help_sources CONFIGURE_DEPENDS LIST_DIRECTORIES false
  "${_vantrel_help_dir}/*.hhp" "${_vantrel_help_dir}/*.hhc" "${_vantrel_help_dir}/*.hhk"
  "${_vantrel_help_dir}/*.html" "${_vantrel_help_dir}/*.htm" "${_vantrel_help_dir}/*.css"
  "${_vantrel_help_dir}/*.png" "${_vantrel_help_dir}/*.gif" "${_vantrel_help_dir}/*.jpg")
list(SORT _vantrel_help_sources)
# The pages are everything but the help project's own files.
set(VANTREL_HELP_PAGES ${_vantrel_help_sources})
list(FILTER VANTREL_HELP_PAGES EXCLUDE REGEX "\\.(hhp|hhc|hhk)$")

set(_vantrel_help_stage "${CMAKE_BINARY_DIR}/help/stage")
add_custom_command(
  OUTPUT "${VANTREL_HELP_CHM}"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${_vantrel_help_stage}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${_vantrel_help_stage}"
  COMMAND "${CMAKE_COMMAND}" -E copy ${_vantrel_help_sources} "${_vantrel_help_stage}"
  COMMAND "${CMAKE_COMMAND}" "-DCHMCMD=${VANTREL_CHMCMD}" "-DSTAGE=${_vantrel_help_stage}"
          "-DOUTPUT=${VANTREL_HELP_CHM}" -P "${CMAKE_CURRENT_LIST_FILE}"
  DEPENDS ${_vantrel_help_sources} "${CMAKE_CURRENT_LIST_FILE}"
  COMMENT "Building the operator help vantrel.chm"
  VERBATIM)
add_custom_target(vantrel_chm ALL DEPENDS "${VANTREL_HELP_CHM}")
set_property(DIRECTORY APPEND PROPERTY ADDITIONAL_CLEAN_FILES "${_vantrel_help_stage}")

set(VANTREL_HAVE_HELP ON)
unset(_vantrel_help_dir)
unset(_vantrel_help_sources)
unset(_vantrel_help_stage)
