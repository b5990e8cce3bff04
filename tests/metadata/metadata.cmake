# Reads the version record, manifest, icon and imports back from the built
# Tolvane.exe and tolvane-check.exe. Needs Debian's python3-pefile, hence
# the system interpreter; no Wine involved.
if(WIN32)
  add_test(NAME metadata
           COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/check_metadata.py ${PROJECT_VERSION}
                   $<TARGET_FILE:Tolvane> $<TARGET_FILE:tolvane_check>)
endif()
