# Each tests/e2e/test_*.py is one ctest test that drives the real built
# executables: natively, or under Wine for the Windows build.
set(TOLVANE_E2E_MODULES
  test_check          # tolvane-check on the samples and on broken components
  test_cli            # the command line, the program name, the derived paths
  test_decoding       # the converter's output in a double-byte code page (Windows)
  test_in_process     # the in-process form with real component libraries
  test_interrupts     # Ctrl-C while a tool runs
  test_sdk            # the installed SDK, an author's projects, the template, the ZIPs
  test_tool_pipeline) # the tool-executable form with recording tools
if(WIN32)
  set(TOLVANE_E2E_PLATFORM windows)
else()
  set(TOLVANE_E2E_PLATFORM native)
endif()
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  set(TOLVANE_E2E_SANITIZED 1)
else()
  set(TOLVANE_E2E_SANITIZED 0)
endif()
foreach(module IN LISTS TOLVANE_E2E_MODULES)
  add_test(NAME e2e_${module}
           COMMAND ${TOLVANE_PYTHON} -m unittest -v ${module}
           WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR})
  set_tests_properties(e2e_${module} PROPERTIES
    ENVIRONMENT "TOLVANE_E2E_PLATFORM=${TOLVANE_E2E_PLATFORM};TOLVANE_E2E_BUILD_DIR=${CMAKE_BINARY_DIR};TOLVANE_E2E_WINE_RUN=${PROJECT_SOURCE_DIR}/cmake/wine-run.sh;TOLVANE_E2E_SOURCE_DIR=${PROJECT_SOURCE_DIR};TOLVANE_E2E_CMAKE=${CMAKE_COMMAND};TOLVANE_E2E_CPACK=${CMAKE_CPACK_COMMAND};TOLVANE_E2E_VERSION=${PROJECT_VERSION};TOLVANE_E2E_SANITIZED=${TOLVANE_E2E_SANITIZED};PYTHONDONTWRITEBYTECODE=1;${TOLVANE_TEST_ENV}")
  if(WIN32)
    set_tests_properties(e2e_${module} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endforeach()
