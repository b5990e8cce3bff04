// Ctrl-C for the unit tests. Natively a real SIGINT, through the handler
// that the launcher's start-up installs. A Windows test process has no
// console to raise the event on, so there it is what the console handler
// does when the event comes.
#pragma once

#include <csignal>

#include "platform/interrupts.hpp"

namespace tolvane::testing {

inline void send_interrupt() {
#if defined(_WIN32)
  platform::record_interrupt();
#else
  std::raise(SIGINT);
#endif
}

}  // namespace tolvane::testing
