# Building Tolvane components: the functions that name and place a module or
# a tool where the launcher looks for it, and register the validator as a
# test of them. Part of the installed package (find_package(Tolvane)), and
# used by the launcher's own samples.
#
#   tolvane_add_component_module(<target> CONVERTER|EDITOR|MONITOR <source>...)
#     A shared library for the in-process form: inp_converter/main, editor/gui
#     or monitor/gui, with the platform's suffix (".dll", ".so"), linked
#     against Tolvane::component, its symbols hidden but the entries.
#
#   tolvane_add_component_tool(<target> CONVERTER|EDITOR|MONITOR [WMAIN] <source>...)
#     An executable for the tool form: tools/inp_converter.exe,
#     tools/editor.exe or tools/monitor.exe (".exe" on every platform, as
#     the launcher looks for that name). WMAIN: the program's entry is wmain,
#     which MinGW needs to be told (-municode) to receive Unicode arguments.
#     Linked against Tolvane::component too, for the headers' helpers
#     (tolvane_fopen, fs_path) and the C++ standard they need (C++17).
#
#   tolvane_add_component_test(<name> [DIR <folder>])
#     A CTest test that runs the validator, tolvane-check, on the component
#     layout in <folder> (default: where the two functions above put their
#     output), under CMAKE_CROSSCOMPILING_EMULATOR when cross-compiling. It
#     requires every component that the two functions put there (--require),
#     so that a tree whose build stopped half-way fails it; it is added at
#     the end of the directory, so it may come before them.
#     Run it with ctest after each build; testing is enabled in the
#     directory that calls it.
#
# Both put their output below TOLVANE_LAYOUT_DIR (default: the top of the
# build tree), so that a launcher copied there runs them, and install it to
# the same place below the install prefix, in the install component named
# by TOLVANE_INSTALL_COMPONENT when that is set, and only when that
# component is asked for when TOLVANE_INSTALL_EXCLUDE_FROM_ALL is true.
#
# How they link, so that a module behaves alike wherever it is built:
#   - Windows with a GNU-like compiler (MinGW gcc or clang): the runtime
#     statically (-static -static-libgcc -static-libstdc++), so that the
#     result needs only system DLLs, and without a time stamp, so that a
#     build can be repeated byte for byte. The runtime's terms are in the
#     package's THIRD-PARTY-NOTICES.txt; ship it with what you build.
#   - Windows with MSVC: the static runtime, through the target property
#     MSVC_RUNTIME_LIBRARY ("MultiThreaded", "MultiThreadedDebug" for Debug),
#     which needs policy CMP0091 (cmake_minimum_required 3.15 or later).
#   - ELF platforms with a GNU-like linker: -Wl,--no-undefined, so that a
#     module with an unresolved symbol fails when it is linked, as it does
#     on Windows, not when the launcher loads it.

include_guard(GLOBAL)

# Each role's folder, module and tool, as the launcher's table of component
# kinds (src/component_kinds.hpp in its sources) names them: the two say
# the same, and change together.
function(_tolvane_component_names role out_folder out_module out_tool)
  if(role STREQUAL "CONVERTER")
    set(${out_folder} inp_converter PARENT_SCOPE)
    set(${out_module} main PARENT_SCOPE)
    set(${out_tool} inp_converter PARENT_SCOPE)
  elseif(role STREQUAL "EDITOR")
    set(${out_folder} editor PARENT_SCOPE)
    set(${out_module} gui PARENT_SCOPE)
    set(${out_tool} editor PARENT_SCOPE)
  elseif(role STREQUAL "MONITOR")
    set(${out_folder} monitor PARENT_SCOPE)
    set(${out_module} gui PARENT_SCOPE)
    set(${out_tool} monitor PARENT_SCOPE)
  else()
    message(FATAL_ERROR "Tolvane: the role is CONVERTER, EDITOR or MONITOR, not '${role}'")
  endif()
endfunction()

# The components that the project builds into a layout folder, each as the
# validator's --require names it ("converter-module"), so that a tree whose
# build stopped half-way fails its test.
function(_tolvane_note_component role form)
  _tolvane_layout_dir(layout)
  string(TOLOWER "${role}-${form}" component)
  string(MD5 key "${layout}")
  set_property(GLOBAL APPEND PROPERTY _tolvane_components_${key} ${component})
endfunction()

function(_tolvane_layout_dir out)
  if(DEFINED TOLVANE_LAYOUT_DIR)
    set(${out} ${TOLVANE_LAYOUT_DIR} PARENT_SCOPE)
  else()
    set(${out} ${CMAKE_BINARY_DIR} PARENT_SCOPE)
  endif()
endfunction()

function(_tolvane_link_options target)
  if(MSVC)
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY
                 "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  elseif(WIN32)
    # -static also takes in winpthread, so only system DLLs are imported.
    target_link_options(${target} PRIVATE -static -static-libgcc
                        $<$<LINK_LANGUAGE:CXX>:-static-libstdc++> -Wl,--no-insert-timestamp)
  elseif(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    target_link_options(${target} PRIVATE
      "$<$<OR:$<LINK_LANG_AND_ID:C,GNU,Clang>,$<LINK_LANG_AND_ID:CXX,GNU,Clang>>:-Wl,--no-undefined>")
  endif()
endfunction()

function(_tolvane_install target destination)
  set(options)
  if(DEFINED TOLVANE_INSTALL_COMPONENT)
    list(APPEND options COMPONENT ${TOLVANE_INSTALL_COMPONENT})
  endif()
  if(TOLVANE_INSTALL_EXCLUDE_FROM_ALL)
    list(APPEND options EXCLUDE_FROM_ALL)
  endif()
  install(TARGETS ${target}
          RUNTIME DESTINATION ${destination} ${options}
          LIBRARY DESTINATION ${destination} ${options})
endfunction()

function(tolvane_add_component_module target role)
  if(NOT ARGN)
    message(FATAL_ERROR "tolvane_add_component_module(${target} ${role}): no sources")
  endif()
  _tolvane_component_names(${role} folder module tool)
  _tolvane_layout_dir(layout)
  add_library(${target} MODULE ${ARGN})
  target_link_libraries(${target} PRIVATE Tolvane::component)
  # Two modules are both called "gui": their folders keep them apart.
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${module}
    # A generator expression, so that multi-config generators add no
    # per-configuration folder below it.
    LIBRARY_OUTPUT_DIRECTORY $<1:${layout}/${folder}>
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    set_target_properties(${target} PROPERTIES SUFFIX .dll)
  else()
    set_target_properties(${target} PROPERTIES SUFFIX .so)
  endif()
  _tolvane_link_options(${target})
  _tolvane_install(${target} ${folder})
  _tolvane_note_component(${role} module)
endfunction()

function(tolvane_add_component_tool target role)
  cmake_parse_arguments(PARSE_ARGV 2 arg "WMAIN" "" "")
  if(NOT arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tolvane_add_component_tool(${target} ${role}): no sources")
  endif()
  _tolvane_component_names(${role} folder module tool)
  _tolvane_layout_dir(layout)
  add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
  # Tolvane::component carries cxx_std_17, which a compiler whose default is
  # older (clang 14: C++14, without std::filesystem) needs to be told. A
  # project that enables only C is not held to it: CMake applies a
  # language's standard only where that language is enabled.
  target_link_libraries(${target} PRIVATE Tolvane::component)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${tool}
    SUFFIX .exe
    RUNTIME_OUTPUT_DIRECTORY $<1:${layout}/tools>)
  if(arg_WMAIN AND MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
  _tolvane_link_options(${target})
  _tolvane_install(${target} tools)
  _tolvane_note_component(${role} tool)
endfunction()

# A macro, so that enable_testing() reaches the directory it is called in
# (the top of the project, where ctest looks for the tests).
macro(tolvane_add_component_test)
  enable_testing()
  _tolvane_add_component_test(${ARGV})
endmacro()

function(_tolvane_add_component_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DIR" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tolvane_add_component_test(${name}): unknown arguments "
                        "'${arg_UNPARSED_ARGUMENTS}'; the only option is DIR <folder>")
  endif()
  if(arg_DIR)
    get_filename_component(folder "${arg_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    _tolvane_layout_dir(folder)
  endif()
  # At the end of the directory, when every component is known. A deferred
  # call reads its variables when it runs: these are written out now.
  cmake_language(EVAL CODE
    "cmake_language(DEFER CALL _tolvane_add_validator_test [==[${name}]==] [==[${folder}]==])")
endfunction()

function(_tolvane_add_validator_test name folder)
  string(MD5 key "${folder}")
  get_property(components GLOBAL PROPERTY _tolvane_components_${key})
  set(required)
  foreach(component IN LISTS components)
    list(APPEND required --require ${component})
  endforeach()
  if(TARGET tolvane_check)
    # Tolvane's own build: CMake puts the emulator in front of a target
    # that it builds itself.
    add_test(NAME ${name} COMMAND tolvane_check ${required} ${folder})
    return()
  endif()
  if(Tolvane_CHECK)
    set(check ${Tolvane_CHECK})
  else()
    set(check tolvane-check)
    if(_tolvane_check_expected)
      set(check ${_tolvane_check_expected})
    endif()
    message(WARNING "tolvane_add_component_test(${name}): no validator at '${check}'; "
                    "the test fails until a Tolvane package with bin/tolvane-check is used")
  endif()
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(check ${CMAKE_CROSSCOMPILING_EMULATOR} ${check})
  endif()
  add_test(NAME ${name} COMMAND ${check} ${required} ${folder})
endfunction()
