# Version record, manifest and icon of Tolvane's Windows programs (Windows
# only), from one template, tolvane.rc.in:
#   tolvane_add_windows_resources(<target> NAME <file name less ".exe">
#                                 DESCRIPTION <what the program is>)
# Included after add_executable(Tolvane ...), to which it gives them at once.

# The version is written once, in project(); the record takes it from there.
string(REPLACE "." "," TOLVANE_VERSION_COMMAS ${PROJECT_VERSION})

function(tolvane_add_windows_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;DESCRIPTION" "")
  if(NOT arg_NAME OR NOT arg_DESCRIPTION OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tolvane_add_windows_resources(${target} NAME <name> DESCRIPTION <text>)")
  endif()
  # The names tolvane.rc.in uses.
  set(TOLVANE_RC_NAME ${arg_NAME})
  set(TOLVANE_RC_DESCRIPTION ${arg_DESCRIPTION})
  set(resources ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(rc ${CMAKE_BINARY_DIR}/${arg_NAME}.rc)
  configure_file(${resources}/tolvane.rc.in ${rc} @ONLY)

  # windres does not report what it reads, so the rc object names its
  # inputs itself.
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES
    OBJECT_DEPENDS "${resources}/tolvane.ico;${resources}/tolvane.manifest")
  target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${resources}>)
endfunction()

tolvane_add_windows_resources(Tolvane NAME Tolvane DESCRIPTION Tolvane.exe)

# The icon is committed, so that a build needs no Python. After a change to
# make_icon.py, `cmake --build <dir> --target icon` draws it anew.
find_program(TOLVANE_ICON_PYTHON NAMES python3)
if(TOLVANE_ICON_PYTHON)
  add_custom_target(icon
    COMMAND ${TOLVANE_ICON_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/make_icon.py
            ${CMAKE_CURRENT_LIST_DIR}/tolvane.ico
    COMMENT "Drawing resources/tolvane.ico"
    VERBATIM)
endif()
