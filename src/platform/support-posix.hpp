// What the POSIX files of the platform layer share: the one way a failed
// call becomes a Failure, and the hooks by which one concern starts or
// wakes another.
#pragma once

#include <optional>
#include <string>

#include "../failure.hpp"
#include "interrupts.hpp"

namespace tolvane::platform::posix {

// A failed call, as every POSIX file reports it: where, the API, the
// system's own text, errno, and the kind that errno stands for.
Failure failure(const std::string& where, const std::string& api, int error);

// interrupts-posix.cpp: starts recording SIGINT (at start-up), and waking
// the main thread on it and on SIGCHLD.
void start_recording_interrupts();
bool interrupt_recorded();
// Sleeps until SIGINT or SIGCHLD arrives, fd (if any) is readable, or the
// deadline passes.
void wait_for_wake(std::optional<Clock::time_point> deadline, int fd = -1);

}  // namespace tolvane::platform::posix
