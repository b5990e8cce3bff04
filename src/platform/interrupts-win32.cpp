// Ctrl-C on Windows: the console's handler records it, and an event wakes
// whatever wait the main thread is in.

#include "interrupts-win32.hpp"

#include <windows.h>

#include <atomic>

#include "support-win32.hpp"

namespace tolvane::platform {

namespace {

std::atomic<bool> interrupt_flag{false};
HANDLE interrupt_event_handle = nullptr;

// Runs on a thread of its own that the system starts; it only records.
BOOL WINAPI on_console_event(DWORD type) {
  if (type != CTRL_C_EVENT) return FALSE;  // Ctrl-Break and the rest: the system's way
  record_interrupt();
  return TRUE;
}

}  // namespace

void record_interrupt() {
  interrupt_flag.store(true);
  if (interrupt_event_handle) SetEvent(interrupt_event_handle);
}

std::optional<SystemError> start_recording_interrupts() {
  interrupt_event_handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (interrupt_event_handle == nullptr) return win32::error("CreateEventW", GetLastError());
  if (!SetConsoleCtrlHandler(on_console_event, TRUE))
    return win32::error("SetConsoleCtrlHandler", GetLastError());
  return std::nullopt;
}

bool win32::interrupt_recorded() { return interrupt_flag.load(); }

HANDLE win32::interrupt_event() { return interrupt_event_handle; }

bool take_interrupt() {
  ResetEvent(interrupt_event_handle);
  return interrupt_flag.exchange(false);
}

bool wait_for_interrupt(Clock::time_point deadline) {
  for (;;) {
    if (interrupt_flag.load()) return true;
    if (Clock::now() >= deadline) return false;
    if (WaitForSingleObject(interrupt_event_handle, win32::milliseconds_until(deadline)) ==
            WAIT_OBJECT_0 &&
        !interrupt_flag.load())
      ResetEvent(interrupt_event_handle);
  }
}

}  // namespace tolvane::platform
