// Ctrl-C (natively SIGINT): recorded by the platform's handler, and acted
// on by the launcher as soon as its current wait or call returns.
#pragma once

#include <chrono>
#include <string>

#include "failure.hpp"

namespace tolvane::platform {

using Clock = std::chrono::steady_clock;

// Clears a recorded interrupt; true when there was one.
bool take_interrupt();

// Sleeps until deadline or until an interrupt is recorded (true). Never
// spins.
bool wait_for_interrupt(Clock::time_point deadline);

}  // namespace tolvane::platform

namespace tolvane {

// Throws the interruption failure of where when an interrupt has been
// recorded.
inline void check_interrupt(const std::string& where) {
  if (platform::take_interrupt()) throw Failure(where, kind::interrupted, "interrupted");
}

}  // namespace tolvane
