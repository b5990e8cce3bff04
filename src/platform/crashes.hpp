// Crashes of the process on any thread: a fault (an access violation, an
// illegal instruction, a division by zero, a breakpoint; natively SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS) and abort(); on Windows also the
// end of the main thread that no one asked for (ExitThread,
// TerminateThread).
#pragma once

#include <cstdint>

namespace tolvane::platform {

// Called with a short description ("access violation (0xC0000005)",
// "segmentation fault (SIGSEGV)", "abort (SIGABRT)") and the thread that
// crashed, on that thread but for a thread that has ended (the main
// thread's ExitThread). It must neither allocate nor return: it ends the
// process.
using CrashHandler = void (*)(const char* description, std::uint64_t thread) noexcept;

// Routes every crash to handler from now on, on the calling thread and
// on every thread prepared below.
void on_crash(CrashHandler handler);

// Makes the calling thread, one the launcher started, able to report its
// own stack overflow: natively an alternate signal stack of its own; on
// Windows room kept at the end of its stack for the report.
void prepare_thread_for_crashes() noexcept;

// Makes a component module's abort() come straight to the crash handling
// (Windows: its imports of the C runtime's abort; natively nothing, as
// SIGABRT comes there already). msvcrt.dll's own abort() sets SIGABRT to
// the default before it calls the handler, so that another thread's
// abort() at that moment would end the process with status 3.
void take_over_abort(void* module) noexcept;

// Puts the handling of crashes back where a component changed it (a
// handler of its own, the default, another exception filter, a crash
// signal blocked on the calling thread): after each call into one.
void restore_crash_handling() noexcept;

}  // namespace tolvane::platform
