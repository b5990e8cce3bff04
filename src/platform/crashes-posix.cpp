// Crashes natively: the fault signals and SIGABRT, on an alternate stack
// so that a stack overflow of the main thread is reported too.

#include <signal.h>

#include <atomic>
#include <iterator>
#include <new>
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
constexpr std::size_t alternate_stack_size = 64 * 1024;
alignas(16) char alternate_stack[alternate_stack_size];
// The other threads' alternate stacks, kept for as long as the process
// lives (a thread may be reporting on its own as the process ends), and
// reachable, so that a leak checker does not call them lost.
std::atomic<void*> thread_stacks[64];
std::atomic<std::size_t> thread_stack_count{0};

void use_alternate_stack(void* stack) {
  stack_t alternate{};
  alternate.ss_sp = stack;
  alternate.ss_size = alternate_stack_size;
  ::sigaltstack(&alternate, nullptr);
}

void on_crash_signal(int signum) {
  for (const auto& [number, description] : crash_signals)
    if (number == signum) crash_handler(description);
}

}  // namespace

void on_crash(CrashHandler handler) {
  crash_handler = handler;
  use_alternate_stack(alternate_stack);
  for (const auto& [number, description] : crash_signals) {
    struct sigaction action {};
    action.sa_handler = on_crash_signal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(number, &action, nullptr);
  }
}

void prepare_thread_for_crashes() noexcept {
  const std::size_t slot = thread_stack_count.fetch_add(1);
  if (slot >= std::size(thread_stacks)) return;
  void* stack = ::operator new(alternate_stack_size, std::nothrow);
  if (stack == nullptr) return;
  thread_stacks[slot].store(stack);
  use_alternate_stack(stack);
}

}  // namespace tolvane::platform
