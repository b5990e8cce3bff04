// The launcher's own process: its start-up and its end. Part of the thin
// layer over the operating system, one header per concern, each
// implemented by one file per platform (<concern>-win32.cpp,
// <concern>-posix.cpp); the build picks the platform. Text crossing the
// layer is UTF-8 (on Windows converted to and from UTF-16 losslessly,
// unpaired surrogates included), and every Windows call is the wide one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../failure.hpp"

namespace tolvane::platform {

// Before anything else: bind a missing standard stream to the null
// device, and keep whatever else the process was handed from its children.
void prepare_process();

// The running executable's full path as the system reports it.
SystemResult<std::string> executable_path();

// The file name of the running executable, UTF-8, cut to fit capacity
// (terminator included); allocates nothing, for a report when memory is
// exhausted. Returns its length, 0 when the system cannot tell.
std::size_t executable_file_name(char* out, std::size_t capacity) noexcept;

// Ends the process with status. What in-process components left in the C
// and C++ stream buffers is flushed on a thread of its own that gets a
// moment only: a component's thread may hold a stream's lock for ever, or
// block on a pipe that nobody reads. No static destructors and no DLL
// detach code run, so a detached worker cannot race them.
[[noreturn]] void end_process(int status);

// Ends the process with status at once, flushing nothing: safe in a
// signal handler and in a crash.
[[noreturn]] void end_process_at_once(int status) noexcept;

// The calling thread's identity as the system numbers threads; safe in a
// signal handler and in a crash.
std::uint64_t current_thread_id() noexcept;

// The identities of the process's threads, at most capacity of them, into
// out; how many were written (0 when the system cannot tell).
std::size_t thread_ids(std::uint64_t* out, std::size_t capacity) noexcept;

}  // namespace tolvane::platform
