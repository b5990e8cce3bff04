// Ends of the process on Windows: exit() through an atexit handler (the C
// runtime, msvcrt.dll, is one for every MinGW-built module, and so is its
// table of them); _exit() and ExitProcess() through the loader's process
// detach, which calls this executable's TLS callback on the thread that
// ends the process, after the other threads are gone. (Wine calls no TLS
// callback of an executable there.) TerminateProcess, the launcher's own
// way to end, calls neither.

#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "exit_watch.hpp"

namespace tolvane::platform {

namespace {

std::atomic<ExitHook> exit_hook{nullptr};
std::atomic<bool> exit_watch_armed{false};

void unasked_end() {
  if (!exit_watch_armed.exchange(false)) return;
  if (const ExitHook hook = exit_hook.load()) hook();
  TerminateProcess(GetCurrentProcess(), 1);
}

void NTAPI on_tls_event(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_DETACH) unasked_end();
}

}  // namespace

void watch_exits(ExitHook hook) {
  exit_hook.store(hook);
  (void)std::atexit(unasked_end);
}

void arm_exit_watch(bool armed) noexcept { exit_watch_armed.store(armed); }

}  // namespace tolvane::platform

// The loader calls the callbacks that the C runtime's TLS directory lists,
// those between its sections .CRT$XLA and .CRT$XLZ.
extern "C" {
__attribute__((section(".CRT$XLE"), used)) PIMAGE_TLS_CALLBACK tolvane_exit_watch_callback =
    tolvane::platform::on_tls_event;
}
