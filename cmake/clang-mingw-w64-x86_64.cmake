# Cross toolchain: x86-64 Windows with clang++ as the C++ compiler, for
# component authors who build plug-in DLLs with clang. Everything except the
# C++ front end comes from the mingw-w64 GCC (posix threading model): the C
# compiler, the libstdc++ headers and the runtime libraries, so clang-built
# DLLs link the same libstdc++/libgcc/winpthread as the GCC toolchain.
# Link targets with -static (or -static -static-libgcc -static-libstdc++) so
# they import only Windows system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(_tolvane_mingw_root /usr/x86_64-w64-mingw32)

# clang 14 finds the mingw-w64 headers and CRT on its own but not GCC's
# folder: Debian names it after the threading model ("12-posix"), which
# clang's version parser rejects, so libstdc++ would be missing. Ask the
# posix GCC where its runtime lives rather than hard-coding the version,
# which also keeps the win32 threading variant out of the picture.
execute_process(
  COMMAND ${CMAKE_C_COMPILER} -print-libgcc-file-name
  OUTPUT_VARIABLE _tolvane_libgcc
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE _tolvane_libgcc_rc)
get_filename_component(_tolvane_gcc_dir "${_tolvane_libgcc}" DIRECTORY)
set(_tolvane_cxx_inc "${_tolvane_gcc_dir}/include/c++")
if(NOT _tolvane_libgcc_rc EQUAL 0
   OR NOT EXISTS "${_tolvane_cxx_inc}/x86_64-w64-mingw32/bits/c++config.h")
  message(FATAL_ERROR
    "libstdc++ headers of ${CMAKE_C_COMPILER} not found under '${_tolvane_cxx_inc}'")
endif()

# --sysroot: without it clang also searches the host's /usr/include and
#   /usr/lib, so a header missing from mingw-w64 silently comes from glibc.
# -stdlib++-isystem: libstdc++ headers for C++ only, ahead of clang's own
#   headers, where libstdc++'s #include_next expects them.
# -fuse-ld=lld: GNU ld warns "duplicate section ... has different size" for
#   every typeinfo shared with the GCC-built libstdc++.a, and it resolves
#   archives strictly in order; lld has neither problem.
# -pthread: libstdc++ and libgcc_eh need winpthread; clang then puts
#   -lpthread inside the runtime library group, where a plain -lpthread on
#   the command line would come too early for GNU ld.
# These are CXX flags rather than linker flags because CMake hands linker
# flags to the GCC-driven C links too, and they are accepted silently both
# when compiling and when linking.
string(JOIN " " CMAKE_CXX_FLAGS_INIT
  "--sysroot=${_tolvane_mingw_root}"
  "-stdlib++-isystem ${_tolvane_cxx_inc}"
  "-stdlib++-isystem ${_tolvane_cxx_inc}/x86_64-w64-mingw32"
  "-stdlib++-isystem ${_tolvane_cxx_inc}/backward"
  "-fuse-ld=lld"
  "-pthread")

# libstdc++.a, libgcc.a and libgcc_eh.a live in GCC's folder. This is only
# given when linking (clang warns about -L on compile lines) and is harmless
# for the C links, where GCC searches that folder anyway.
foreach(_kind EXE SHARED MODULE)
  set(CMAKE_${_kind}_LINKER_FLAGS_INIT "-L${_tolvane_gcc_dir}")
endforeach()

set(CMAKE_FIND_ROOT_PATH ${_tolvane_mingw_root})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test binaries run under Wine; the wrapper keeps a private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
