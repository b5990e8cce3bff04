// Crashes natively: the fault signals and SIGABRT, on an alternate stack
// of each thread the launcher has, so that a stack overflow is reported
// too.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <iterator>
#include <new>
#include <utility>

#include "crashes.hpp"
#include "process.hpp"

namespace tolvane::platform {

namespace {

constexpr std::pair<int, const char*> crash_signals[] = {
    {SIGSEGV, "segmentation fault (SIGSEGV)"},
    {SIGBUS, "bus error (SIGBUS)"},
    {SIGFPE, "arithmetic exception (SIGFPE)"},
    {SIGILL, "illegal instruction (SIGILL)"},
    {SIGABRT, "abort (SIGABRT)"},
    {SIGTRAP, "trace trap (SIGTRAP)"},
    {SIGSYS, "bad system call (SIGSYS)"},
};

CrashHandler crash_handler = nullptr;
constexpr std::size_t alternate_stack_size = std::size_t{64} * 1024;
alignas(16) char alternate_stack[alternate_stack_size];
// The other threads' alternate stacks, kept for as long as the process
// lives (a thread may be reporting on its own as the process ends), and
// reachable, so that a leak checker does not call them lost.
std::atomic<void*> thread_stacks[64];
std::atomic<std::size_t> thread_stack_count{0};

// Whether the calling thread has an alternate stack already: one that a
// sanitizer's runtime gives every thread, and takes back itself as the
// thread ends.
bool has_alternate_stack() {
  stack_t current{};
  return ::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0;
}

void use_alternate_stack(void* stack) {
  stack_t alternate{};
  alternate.ss_sp = stack;
  alternate.ss_size = alternate_stack_size;
  ::sigaltstack(&alternate, nullptr);
}

void on_crash_signal(int signum) {
  for (const auto& [number, description] : crash_signals)
    if (number == signum) crash_handler(description, current_thread_id());
}

void install(int signum) {
  struct sigaction action {};
  action.sa_handler = on_crash_signal;
  action.sa_flags = SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  ::sigaction(signum, &action, nullptr);
}

}  // namespace

void on_crash(CrashHandler handler) {
  crash_handler = handler;
  if (!has_alternate_stack()) use_alternate_stack(alternate_stack);
  for (const auto& [number, description] : crash_signals) install(number);
}

void take_over_abort(void*) noexcept {}

void restore_crash_handling() noexcept {
  sigset_t crash_set;
  sigemptyset(&crash_set);
  for (const auto& [number, description] : crash_signals) {
    sigaddset(&crash_set, number);
    struct sigaction current {};
    if (::sigaction(number, nullptr, &current) == 0 &&
        (current.sa_handler != on_crash_signal || (current.sa_flags & SA_ONSTACK) == 0))
      install(number);
  }
  ::pthread_sigmask(SIG_UNBLOCK, &crash_set, nullptr);
}

void prepare_thread_for_crashes() noexcept {
  if (has_alternate_stack()) return;
  const std::size_t slot = thread_stack_count.fetch_add(1);
  if (slot >= std::size(thread_stacks)) return;
  void* stack = ::operator new(alternate_stack_size, std::nothrow);
  if (stack == nullptr) return;
  thread_stacks[slot].store(stack);
  use_alternate_stack(stack);
}

}  // namespace tolvane::platform
