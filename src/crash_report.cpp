#include "crash_report.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <thread>

#include "failure.hpp"
#include "platform/crashes.hpp"
#include "platform/process.hpp"

namespace tolvane {

namespace {

// The call each of the launcher's two threads is in, and the last one it
// made: a thread of a component's own that crashes after its call has
// returned (a monitor's) is most likely that call's.
std::atomic<const char*> main_call{nullptr};
std::atomic<const char*> worker_call{nullptr};
std::atomic<const char*> last_call{nullptr};
std::atomic<std::uint64_t> main_thread{0};
std::atomic<std::uint64_t> worker_thread{0};

const char* call_of_this_thread() noexcept {
  const std::uint64_t self = platform::current_thread_id();
  const char* call = self == worker_thread.load() ? worker_call.load()
                     : self == main_thread.load() ? main_call.load()
                                                  : last_call.load();
  return call != nullptr ? call : "main";
}

std::atomic<std::uint64_t> crashed_thread{0};

void on_crash(const char* description) noexcept {
  const std::uint64_t self = platform::current_thread_id();
  std::uint64_t none = 0;
  if (!crashed_thread.compare_exchange_strong(none, self)) {
    // A crash while reporting one: end without a word rather than loop.
    if (none == self) platform::end_process_at_once(1);
    // Another thread reports the first crash and ends the process.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  report_without_allocating(call_of_this_thread(), kind::crash, description);
  platform::end_process_at_once(1);
}

[[noreturn]] void on_terminate() noexcept {
  // The runtime ends this way when it has no memory left even for an
  // exception; a probe tells that apart from any other reason.
  void* probe = std::malloc(std::size_t{64} * 1024);
  if (probe == nullptr)
    report_without_allocating(call_of_this_thread(), kind::memory, "out of memory");
  else
    report_without_allocating(call_of_this_thread(), kind::crash, "std::terminate called");
  std::free(probe);
  platform::end_process_at_once(1);
}

std::atomic<const char*>& slot(bool on_worker) { return on_worker ? worker_call : main_call; }

// Before main: the process entry converts its words before anything else,
// and memory can be short already there.
[[maybe_unused]] const std::terminate_handler previous_terminate = std::set_terminate(on_terminate);

}  // namespace

void report_crashes() {
  main_thread.store(platform::current_thread_id());
  platform::on_crash(on_crash);
}

CallInProgress::CallInProgress(const char* where) noexcept
    : on_worker_(platform::current_thread_id() == worker_thread.load()) {
  previous_ = slot(on_worker_).exchange(where);
  last_call.store(where);
}

CallInProgress::~CallInProgress() { slot(on_worker_).store(previous_); }

void mark_worker_thread() noexcept { worker_thread.store(platform::current_thread_id()); }

}  // namespace tolvane
