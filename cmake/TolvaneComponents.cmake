# Building Tolvane components: the functions that name and place a module or
# a tool where the launcher looks for it. Part of the installed package
# (find_package(Tolvane)), and used by the launcher's own samples.
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
#
# Both put their output below TOLVANE_LAYOUT_DIR (default: the top of the
# build tree), so that a launcher copied there runs them, and install it to
# the same place below the install prefix, in the install component named
# by TOLVANE_INSTALL_COMPONENT when that is set. On Windows with a GNU-like
# compiler they link the runtime statically, so that the result needs only
# system DLLs, and without a time stamp, so that a build can be repeated
# byte for byte.

include_guard(GLOBAL)

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

function(_tolvane_layout_dir out)
  if(DEFINED TOLVANE_LAYOUT_DIR)
    set(${out} ${TOLVANE_LAYOUT_DIR} PARENT_SCOPE)
  else()
    set(${out} ${CMAKE_BINARY_DIR} PARENT_SCOPE)
  endif()
endfunction()

function(_tolvane_windows_link_options target)
  if(WIN32 AND NOT MSVC)
    # -static also takes in winpthread, so only system DLLs are imported.
    target_link_options(${target} PRIVATE -static -static-libgcc
                        $<$<LINK_LANGUAGE:CXX>:-static-libstdc++> -Wl,--no-insert-timestamp)
  endif()
endfunction()

function(_tolvane_install target destination)
  if(DEFINED TOLVANE_INSTALL_COMPONENT)
    set(component COMPONENT ${TOLVANE_INSTALL_COMPONENT})
  endif()
  install(TARGETS ${target}
          RUNTIME DESTINATION ${destination} ${component}
          LIBRARY DESTINATION ${destination} ${component})
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
  _tolvane_windows_link_options(${target})
  _tolvane_install(${target} ${folder})
endfunction()

function(tolvane_add_component_tool target role)
  cmake_parse_arguments(PARSE_ARGV 2 arg "WMAIN" "" "")
  if(NOT arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tolvane_add_component_tool(${target} ${role}): no sources")
  endif()
  _tolvane_component_names(${role} folder module tool)
  _tolvane_layout_dir(layout)
  add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${tool}
    SUFFIX .exe
    RUNTIME_OUTPUT_DIRECTORY $<1:${layout}/tools>)
  if(arg_WMAIN AND MINGW)
    target_link_options(${target} PRIVATE -municode)
  endif()
  _tolvane_windows_link_options(${target})
  _tolvane_install(${target} tools)
endfunction()
