// What the waits of a child on Windows need of the interrupts: whether one
// is recorded, and the event that wakes a wait when one is.
#pragma once

#include <windows.h>

#include "interrupts.hpp"

namespace tolvane::platform::win32 {

bool interrupt_recorded();
HANDLE interrupt_event();

}  // namespace tolvane::platform::win32
