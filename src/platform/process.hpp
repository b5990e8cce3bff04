// The launcher's own process: its start-up and its end. Part of the thin
// layer over the operating system, one header per concern, each
// implemented by one file per platform (<concern>-win32.cpp,
// <concern>-posix.cpp); the build picks the platform. Text crossing the
// layer is UTF-8 (on Windows converted to and from UTF-16 losslessly,
// unpaired surrogates included), and every Windows call is the wide one.
#pragma once

#include <string>

namespace tolvane::platform {

// Before anything else: restrict DLL loading to the system directory
// (Windows), bind a missing standard stream to the null device and start
// recording Ctrl-C / SIGINT as an interrupt.
void prepare_process();

// The running executable's full path as the system reports it.
std::string executable_path();

// Flushes what in-process components wrote through the C and C++ streams,
// then ends the process at once with status: no static destructors and
// no DLL detach code run, so a detached worker cannot race them.
[[noreturn]] void end_process(int status);

}  // namespace tolvane::platform
