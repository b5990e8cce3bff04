# What `cmake --install` puts below the prefix, and the ZIP packages made
# from it. The prefix becomes the install layout beside the launcher (see
# README), in these install components:
#   launcher  the launcher, session.xml, and the folders tools/, exes/ and
#             FrontISTR-DEV250506/ for the deployer's components and solver
#   sdk       include/tolvane/, lib/cmake/Tolvane/, share/tolvane/ (the
#             toolchain files and the template project) and, once it is
#             built, bin/tolvane-check, for component authors
#   docs      README.md and docs/
#   demo      the stand-in components and the sample decks; never part of
#             the product, so a deployer's real components are not mixed
#             with them, and left out of a plain `cmake --install`
# Every component that ships programs also ships LICENSE and the
# third-party notice, since the Windows programs carry the MinGW runtime.
# The samples put their components in "demo" (TOLVANE_INSTALL_COMPONENT).
# This file comes after every target it installs.

include(CMakePackageConfigHelpers)

set(TOLVANE_SOLVER_DIRECTORY FrontISTR-DEV250506)
set(TOLVANE_PACKAGE_DIR lib/cmake/Tolvane)
set(TOLVANE_SHARE_DIR share/tolvane)

foreach(component launcher sdk demo)
  if(component STREQUAL "demo")
    set(exclude EXCLUDE_FROM_ALL)
  else()
    set(exclude)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
          DESTINATION . COMPONENT ${component} ${exclude})
endforeach()

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
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs COMPONENT docs
        FILES_MATCHING PATTERN "*.md")

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
set(TOLVANE_CHECK_FILE bin/tolvane-check${CMAKE_EXECUTABLE_SUFFIX})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TolvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TolvaneConfig.cmake
  INSTALL_DESTINATION ${TOLVANE_PACKAGE_DIR})
# The package version is the project's (1.1.0.0). SameMajorVersion accepts
# a request for any version up to this one with the same major number:
# find_package(Tolvane 1.0) and find_package(Tolvane 1.1) find it,
# find_package(Tolvane 1.2) and find_package(Tolvane 2.0) do not.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TolvaneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/TolvaneConfig.cmake
  ${PROJECT_BINARY_DIR}/TolvaneConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/TolvaneComponents.cmake
  DESTINATION ${TOLVANE_PACKAGE_DIR} COMPONENT sdk)
# Toolchain files for building components for Windows, with the Wine
# wrapper they name as the emulator that runs the component test.
install(FILES
  ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake
  ${CMAKE_CURRENT_LIST_DIR}/clang-mingw-w64-x86_64.cmake
  DESTINATION ${TOLVANE_SHARE_DIR}/cmake COMPONENT sdk)
install(PROGRAMS ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
        DESTINATION ${TOLVANE_SHARE_DIR}/cmake COMPONENT sdk)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/template/ DESTINATION ${TOLVANE_SHARE_DIR}/template
        COMPONENT sdk)
# The validator joins the SDK once the build has it.
if(TARGET tolvane_check)
  install(TARGETS tolvane_check RUNTIME DESTINATION bin COMPONENT sdk)
endif()

# --- the demo --------------------------------------------------------------------

if(WIN32)
  # The in-process form needs the launcher under a name without ".exe".
  install(PROGRAMS $<TARGET_FILE:Tolvane> DESTINATION . RENAME ${TOLVANE_OTHER_NAME}
          COMPONENT demo EXCLUDE_FROM_ALL)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/samples/beam.inp ${PROJECT_SOURCE_DIR}/samples/bracket.inp
        DESTINATION samples COMPONENT demo EXCLUDE_FROM_ALL)

# --- ZIP packages ----------------------------------------------------------------
# `cmake --build <dir> --target packages` makes both:
#   Tolvane-<version>-<system>.zip       launcher, SDK, docs: a plain install
#   Tolvane-demo-<version>-<system>.zip  launcher, docs, demo components
# Each is one install of its components into one folder, not one folder
# per component, so that the files several components share (LICENSE)
# appear once in the archive.

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
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_INSTALL_CMAKE_PROJECTS ${PROJECT_BINARY_DIR} ${PROJECT_NAME} ALL /)
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
if(TARGET tolvane_check)
  add_dependencies(packages tolvane_check)
endif()
