# Cross toolchain: x86-64 Windows with clang and clang++, for component
# authors who build plug-in DLLs with clang. The mingw-w64 headers and
# import libraries, and the GCC runtime (libstdc++, libgcc, winpthread) of
# the mingw-w64 GCC with the posix threading model, are used as they are,
# so clang-built DLLs link the same runtime as the GCC toolchain.
# Link targets with -static (or -static -static-libgcc -static-libstdc++) so
# they import only Windows system DLLs; the package's functions do.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(_tolvane_mingw_root /usr/x86_64-w64-mingw32)
set(_tolvane_mingw_gcc x86_64-w64-mingw32-gcc-posix)

# clang 14 finds the mingw-w64 headers and CRT on its own but not GCC's
# folder: Debian names it after the threading model ("12-posix"), which
# clang's version parser rejects, so libstdc++ and libgcc would be missing.
# Ask the posix GCC where its runtime lives rather than hard-coding the
# version, which also keeps the win32 threading variant out of the picture.
execute_process(
  COMMAND ${_tolvane_mingw_gcc} -print-libgcc-file-name
  OUTPUT_VARIABLE _tolvane_libgcc
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE _tolvane_libgcc_rc)
get_filename_component(_tolvane_gcc_dir "${_tolvane_libgcc}" DIRECTORY)
set(_tolvane_cxx_inc "${_tolvane_gcc_dir}/include/c++")
if(NOT _tolvane_libgcc_rc EQUAL 0
   OR NOT EXISTS "${_tolvane_cxx_inc}/x86_64-w64-mingw32/bits/c++config.h")
  message(FATAL_ERROR
    "libstdc++ headers of ${_tolvane_mingw_gcc} not found under '${_tolvane_cxx_inc}'")
endif()

# Both languages:
# --sysroot: without it clang also searches the host's /usr/include and
#   /usr/lib, so a header missing from mingw-w64 silently comes from glibc.
# -fuse-ld=lld: GNU ld warns "duplicate section ... has different size" for
#   every typeinfo shared with the GCC-built libstdc++.a, and it resolves
#   archives strictly in order; lld has neither problem.
# -pthread: libstdc++ and libgcc_eh need winpthread; clang then puts
#   -lpthread inside the runtime library group, where a plain -lpthread on
#   the command line would come too early.
# C++ only:
# -stdlib++-isystem: libstdc++ headers ahead of clang's own headers, where
#   libstdc++'s #include_next expects them.
# These are compiler flags rather than linker flags because CMake hands
# them to both the compile and the link lines, and clang accepts them
# silently on both.
string(JOIN " " CMAKE_C_FLAGS_INIT
  "--sysroot=${_tolvane_mingw_root}"
  "-fuse-ld=lld"
  "-pthread")
string(JOIN " " CMAKE_CXX_FLAGS_INIT
  "${CMAKE_C_FLAGS_INIT}"
  "-stdlib++-isystem ${_tolvane_cxx_inc}"
  "-stdlib++-isystem ${_tolvane_cxx_inc}/x86_64-w64-mingw32"
  "-stdlib++-isystem ${_tolvane_cxx_inc}/backward")

# libstdc++.a, libgcc.a and libgcc_eh.a live in GCC's folder. This is only
# given when linking, as clang warns about -L on compile lines.
foreach(_kind EXE SHARED MODULE)
  set(CMAKE_${_kind}_LINKER_FLAGS_INIT "-L${_tolvane_gcc_dir}")
endforeach()

set(CMAKE_FIND_ROOT_PATH ${_tolvane_mingw_root})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine; the wrapper keeps a private prefix, named
# by WINEPREFIX.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
