// Ctrl-C (natively SIGINT): the platform's handler records it and wakes
// whatever wait the main thread is in. What an interrupt means is the
// caller's to say.
#pragma once

#include <chrono>
#include <optional>

#include "../failure.hpp"

namespace tolvane::platform {

using Clock = std::chrono::steady_clock;

// From now on, Ctrl-C (SIGINT natively) is recorded and wakes whatever
// wait the main thread is in (at start-up). A launcher started with SIGINT
// ignored (a background job) keeps it so.
std::optional<SystemError> start_recording_interrupts();

// Records an interrupt, as the handler does when Ctrl-C comes (a test
// that has no console to press it on calls it itself).
void record_interrupt();

// Clears a recorded interrupt; true when there was one.
bool take_interrupt();

// Sleeps until deadline or until an interrupt is recorded (true). Never
// spins.
bool wait_for_interrupt(Clock::time_point deadline);

}  // namespace tolvane::platform
