// Crashes natively: the fault signals and SIGABRT, on an alternate stack
// so that a stack overflow of the main thread is reported too.

#include <signal.h>

#include <utility>

#include "crashes.hpp"

namespace tolvane::platform {

namespace {

constexpr std::pair<int, const char*> crash_signals[] = {
    {SIGSEGV, "segmentation fault (SIGSEGV)"},
    {SIGBUS, "bus error (SIGBUS)"},
    {SIGFPE, "arithmetic exception (SIGFPE)"},
    {SIGILL, "illegal instruction (SIGILL)"},
    {SIGABRT, "abort (SIGABRT)"},
};

CrashHandler crash_handler = nullptr;
alignas(16) char alternate_stack[64 * 1024];

void on_crash_signal(int signum) {
  for (const auto& [number, description] : crash_signals)
    if (number == signum) crash_handler(description);
}

}  // namespace

void on_crash(CrashHandler handler) {
  crash_handler = handler;
  stack_t stack{};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof alternate_stack;
  ::sigaltstack(&stack, nullptr);
  for (const auto& [number, description] : crash_signals) {
    struct sigaction action {};
    action.sa_handler = on_crash_signal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(number, &action, nullptr);
  }
}

}  // namespace tolvane::platform
