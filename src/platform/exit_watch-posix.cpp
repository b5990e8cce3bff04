// Ends of the process natively: exit() through an atexit handler, and
// _exit() and _Exit() through definitions of this executable's own, which
// the dynamic linker puts in front of the C library's for every module
// (the executable exports them; see CMakeLists.txt). The library's own
// exit() reaches its _exit by an internal name, past these.

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "exit_watch.hpp"

namespace tolvane::platform {

namespace {

std::atomic<ExitHook> exit_hook{nullptr};
std::atomic<bool> exit_watch_armed{false};

// Runs the hook once, if armed; whether the end is to be status 1.
bool unasked_end() noexcept {
  if (!exit_watch_armed.exchange(false)) return false;
  if (const ExitHook hook = exit_hook.load()) hook();
  return true;
}

[[noreturn]] void end_with(int status) noexcept {
  using ExitFunction = void (*)(int);
  if (auto real = reinterpret_cast<ExitFunction>(::dlsym(RTLD_NEXT, "_exit"))) real(status);
  for (;;) ::syscall(SYS_exit_group, status);
}

void on_exit() noexcept {
  if (unasked_end()) end_with(1);
}

}  // namespace

void watch_exits(ExitHook hook) {
  exit_hook.store(hook);
  (void)std::atexit(on_exit);
}

void arm_exit_watch(bool armed) noexcept { exit_watch_armed.store(armed); }

}  // namespace tolvane::platform

extern "C" {

void _exit(int status) {
  tolvane::platform::end_with(tolvane::platform::unasked_end() ? 1 : status);
}

void _Exit(int status) { _exit(status); }

}  // extern "C"
