// Crashes of the process on any thread: a fault (an access violation, an
// illegal instruction, a division by zero; natively SIGSEGV, SIGBUS,
// SIGFPE, SIGILL) and abort().
#pragma once

namespace tolvane::platform {

// Called on the thread that crashed with a short description ("access
// violation (0xC0000005)", "segmentation fault (SIGSEGV)", "abort
// (SIGABRT)"). It must neither allocate nor return: it ends the process.
using CrashHandler = void (*)(const char* description) noexcept;

// Routes every crash to handler from now on, on the calling thread and
// on every thread prepared below.
void on_crash(CrashHandler handler);

// Makes the calling thread, one the launcher started, able to report its
// own stack overflow: natively an alternate signal stack of its own; on
// Windows room kept at the end of its stack for the report.
void prepare_thread_for_crashes() noexcept;

}  // namespace tolvane::platform
