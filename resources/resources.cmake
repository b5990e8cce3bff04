# Version record, manifest and icon of Tolvane.exe (Windows only).
# Included after add_executable(Tolvane ...).

# The version is written once, in project(); the record takes it from there.
string(REPLACE "." "," TOLVANE_VERSION_COMMAS ${PROJECT_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/tolvane.rc.in ${CMAKE_BINARY_DIR}/tolvane.rc @ONLY)

# windres does not report what it reads, so the rc object names its inputs
# itself.
target_sources(Tolvane PRIVATE ${CMAKE_BINARY_DIR}/tolvane.rc)
set_source_files_properties(${CMAKE_BINARY_DIR}/tolvane.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/tolvane.ico;${CMAKE_CURRENT_LIST_DIR}/tolvane.manifest")
target_include_directories(Tolvane PRIVATE $<$<COMPILE_LANGUAGE:RC>:${CMAKE_CURRENT_LIST_DIR}>)

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
