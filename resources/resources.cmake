# Version record, manifest and icon of Tolvane.exe (Windows only).
# Included after add_executable(Tolvane ...).

find_program(TOLVANE_ICON_PYTHON NAMES python3 REQUIRED)

set(TOLVANE_ICON ${CMAKE_BINARY_DIR}/tolvane.ico)
add_custom_command(
  OUTPUT ${TOLVANE_ICON}
  COMMAND ${TOLVANE_ICON_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/make_icon.py ${TOLVANE_ICON}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_icon.py
  COMMENT "Drawing tolvane.ico"
  VERBATIM)

# Listing the icon as a source ties its rule to the target; windres does
# not report what it reads, so the rc object names its inputs itself.
target_sources(Tolvane PRIVATE ${CMAKE_CURRENT_LIST_DIR}/tolvane.rc ${TOLVANE_ICON})
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/tolvane.rc PROPERTIES
  OBJECT_DEPENDS "${TOLVANE_ICON};${CMAKE_CURRENT_LIST_DIR}/tolvane.manifest")
target_include_directories(Tolvane PRIVATE
  $<$<COMPILE_LANGUAGE:RC>:${CMAKE_BINARY_DIR}>
  $<$<COMPILE_LANGUAGE:RC>:${CMAKE_CURRENT_LIST_DIR}>)
