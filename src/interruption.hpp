// The launcher's rule for Ctrl-C: an interrupt that the platform recorded
// ends the run as soon as the current wait or call returns, reported as
// the interruption of that call.
#pragma once

#include <string>

#include "failure.hpp"
#include "platform/interrupts.hpp"

namespace tolvane {

// Throws the interruption failure of where when an interrupt has been
// recorded (and takes it).
inline void end_if_interrupted(const std::string& where) {
  if (platform::take_interrupt()) throw Failure(where, kind::interrupted, "interrupted");
}

}  // namespace tolvane
