# What `cmake --install` puts below the prefix, and the ZIP packages made
# from it. The prefix becomes the install layout beside the launcher (see
# README), in these install components:
#   launcher  the launcher, session.xml, and the folders tools/, exes/ and
#             FrontISTR-DEV250506/ for the deployer's components and solver
#   sdk       include/tolvane/ and lib/cmake/Tolvane/ for component authors
#   docs      README.md
#   demo      the stand-in components and the sample decks; never part of
#             the product, so a deployer's real components are not mixed
#             with them
# The samples put their components in "demo" (TOLVANE_INSTALL_COMPONENT).

include(CMakePackageConfigHelpers)

set(TOLVANE_SOLVER_DIRECTORY FrontISTR-DEV250506)
set(TOLVANE_PACKAGE_DIR lib/cmake/Tolvane)

# --- the product -------------------------------------------------------------

install(TARGETS Tolvane RUNTIME DESTINATION . COMPONENT launcher)
if(NOT WIN32)
  # Natively the file name alone selects the form, so both names ship.
  install(PROGRAMS $<TARGET_FILE:Tolvane> DESTINATION . RENAME ${TOLVANE_OTHER_NAME}
          COMPONENT launcher)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/samples/session.xml DESTINATION . COMPONENT launcher)
install(DIRECTORY DESTINATION tools COMPONENT launcher)
install(DIRECTORY DESTINATION exes COMPONENT launcher)
install(DIRECTORY DESTINATION ${TOLVANE_SOLVER_DIRECTORY} COMPONENT launcher)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . COMPONENT docs)

# --- the SDK -------------------------------------------------------------------

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tolvane DESTINATION include COMPONENT sdk)
install(TARGETS tolvane_component_api EXPORT TolvaneTargets COMPONENT sdk)
install(EXPORT TolvaneTargets NAMESPACE Tolvane:: DESTINATION ${TOLVANE_PACKAGE_DIR}
        COMPONENT sdk)
file(STRINGS ${PROJECT_SOURCE_DIR}/include/tolvane/component.h TOLVANE_INTERFACE_LINES
     REGEX "^#define TOLVANE_INTERFACE_(MAJOR|MINOR) ")
string(REGEX REPLACE ".*MAJOR ([0-9]+).*MINOR ([0-9]+).*" "\\1.\\2" TOLVANE_INTERFACE_VERSION
       "${TOLVANE_INTERFACE_LINES}")
set(TOLVANE_LAUNCHER_FILE Tolvane${CMAKE_EXECUTABLE_SUFFIX})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TolvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TolvaneConfig.cmake
  INSTALL_DESTINATION ${TOLVANE_PACKAGE_DIR})
# A component built against 1.x works with every launcher 1.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TolvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/TolvaneConfig.cmake
  ${PROJECT_BINARY_DIR}/TolvaneConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/TolvaneComponents.cmake
  DESTINATION ${TOLVANE_PACKAGE_DIR} COMPONENT sdk)

# --- the demo --------------------------------------------------------------------

if(WIN32)
  # The in-process form needs the launcher under a name without ".exe".
  install(PROGRAMS $<TARGET_FILE:Tolvane> DESTINATION . RENAME ${TOLVANE_OTHER_NAME}
          COMPONENT demo)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/samples/beam.inp ${PROJECT_SOURCE_DIR}/samples/bracket.inp
        DESTINATION samples COMPONENT demo)

# --- ZIP packages ----------------------------------------------------------------
# `cmake --build <dir> --target packages` makes both:
#   Tolvane-<version>-<system>.zip       launcher, SDK, README
#   Tolvane-demo-<version>-<system>.zip  launcher, README, demo components

if(WIN32)
  set(TOLVANE_PACKAGE_SYSTEM win64)
else()
  set(TOLVANE_PACKAGE_SYSTEM ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tolvane)
set(CPACK_PACKAGE_VENDOR "Tolvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Console launcher for a FrontISTR tool chain")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Tolvane-${PROJECT_VERSION}-${TOLVANE_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL launcher sdk docs)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)

# The demo is the same install with another set of components.
set(TOLVANE_DEMO_PACKAGE_FILE_NAME Tolvane-demo-${PROJECT_VERSION}-${TOLVANE_PACKAGE_SYSTEM})
configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackDemoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CPackDemoConfig.cmake @ONLY)
add_custom_target(packages
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackDemoConfig.cmake
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  COMMENT "Packing ${CPACK_PACKAGE_FILE_NAME}.zip and ${TOLVANE_DEMO_PACKAGE_FILE_NAME}.zip"
  VERBATIM)
add_dependencies(packages Tolvane samples)
