// An end of the process that its own code did not ask for: a component's
// exit(), _exit() or (on Windows) ExitProcess() while the validator runs
// a chain in its own process (--in-process). Linked into the validator
// alone: natively it puts its own _exit in front of the C library's.
#pragma once

namespace tolvane::platform {

// Says what is to be said; the process then ends with status 1. It must
// not wait for a lock that another thread may hold: those threads may be
// gone already.
using ExitHook = void (*)() noexcept;

// From now on, while armed, an end of the process through exit, _exit or
// ExitProcess runs hook first and ends with status 1.
void watch_exits(ExitHook hook);
void arm_exit_watch(bool armed) noexcept;

}  // namespace tolvane::platform
