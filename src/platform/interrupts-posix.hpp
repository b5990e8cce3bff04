// What the waits of a child natively need of the interrupts: whether one
// is recorded, and the sleep that it, SIGCHLD, a readable fd (if any) or
// the deadline ends.
#pragma once

#include <optional>

#include "interrupts.hpp"

namespace tolvane::platform::posix {

bool interrupt_recorded();
void wait_for_wake(std::optional<Clock::time_point> deadline, int fd = -1);

}  // namespace tolvane::platform::posix
