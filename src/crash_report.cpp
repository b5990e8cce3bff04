#include "crash_report.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <thread>

#include "diagnostics.hpp"
#include "failure.hpp"
#include "platform/crashes.hpp"
#include "platform/process.hpp"

namespace tolvane {

namespace {

// What each known thread is in: the component call it makes, or (started)
// the call that started it. A crash handler reads it, so it is a fixed
// table of atomics, filled as threads are met and never emptied: a run
// meets few threads, and what does not fit is named by the last call.
struct ThreadCall {
  std::atomic<std::uint64_t> thread{0};
  std::atomic<const char*> call{nullptr};
  std::atomic<bool> started{false};
};
ThreadCall thread_calls[256];
std::atomic<const char*> last_call{nullptr};

// The entry of thread, made when claim says so and there is room.
ThreadCall* entry_of(std::uint64_t thread, bool claim) noexcept {
  for (ThreadCall& entry : thread_calls)
    if (entry.thread.load() == thread) return &entry;
  if (!claim) return nullptr;
  for (ThreadCall& entry : thread_calls) {
    std::uint64_t free = 0;
    if (entry.thread.compare_exchange_strong(free, thread)) return &entry;
    if (free == thread) return &entry;  // claimed by another look meanwhile
  }
  return nullptr;
}

// Threads met for the first time belong to where (null: the launcher's).
void note_new_threads(const char* where) noexcept {
  std::uint64_t ids[256];
  const std::size_t count = platform::thread_ids(ids, std::size(ids));
  for (std::size_t i = 0; i < count; ++i) {
    if (entry_of(ids[i], false) != nullptr) continue;
    if (ThreadCall* entry = entry_of(ids[i], true)) {
      entry->started.store(where != nullptr);
      entry->call.store(where);
    }
  }
}

char described[160];

// "segmentation fault (SIGSEGV), on a thread that the call started",
// composed without allocating; only the reporting thread writes it.
const char* on_started_thread(const char* description) noexcept {
  std::size_t n = 0;
  for (const char* part : {description, ", on a thread that the call started"})
    for (; *part != '\0' && n + 1 < sizeof described; ++part) described[n++] = *part;
  described[n] = '\0';
  return described;
}

std::atomic<std::uint64_t> crashed_thread{0};

[[noreturn]] void on_crash(const char* description, std::uint64_t thread) noexcept {
  const std::uint64_t self = platform::current_thread_id();
  std::uint64_t none = 0;
  if (!crashed_thread.compare_exchange_strong(none, self)) {
    // A crash while reporting one: end without a word rather than loop.
    if (none == self) platform::end_process_at_once(1);
    // Another thread reports the first crash and ends the process.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  const char* where = last_call.load();
  if (const ThreadCall* entry = entry_of(thread, false)) {
    where = entry->call.load();
    if (where != nullptr && entry->started.load()) description = on_started_thread(description);
  }
  report_without_allocating(where != nullptr ? where : "main", kind::crash, description);
  platform::end_process_at_once(1);
}

const char* call_of_this_thread() noexcept {
  const ThreadCall* entry = entry_of(platform::current_thread_id(), false);
  const char* call = entry != nullptr ? entry->call.load() : last_call.load();
  return call != nullptr ? call : "main";
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

// Before main: the process entry converts its words before anything else,
// and memory can be short already there.
[[maybe_unused]] const std::terminate_handler previous_terminate = std::set_terminate(on_terminate);

}  // namespace

void report_crashes() {
  // The threads there are at start-up are the launcher's own.
  note_new_threads(nullptr);
  platform::on_crash(on_crash);
}

void prepare_thread_for_crashes() noexcept {
  entry_of(platform::current_thread_id(), true);
  platform::prepare_thread_for_crashes();
}

CallInProgress::CallInProgress(const char* where) noexcept
    : where_(where), previous_(nullptr), previous_started_(false) {
  if (ThreadCall* entry = entry_of(platform::current_thread_id(), true)) {
    previous_started_ = entry->started.exchange(false);
    previous_ = entry->call.exchange(where);
  }
  last_call.store(where);
}

CallInProgress::~CallInProgress() {
  if (ThreadCall* entry = entry_of(platform::current_thread_id(), false)) {
    entry->call.store(previous_);
    entry->started.store(previous_started_);
  }
  note_new_threads(where_);
  // What the component changed of the crash handling holds no longer.
  platform::restore_crash_handling();
}

void report_crash_here(const char* description) noexcept {
  on_crash(description, platform::current_thread_id());
}

void note_threads_of(const char* where) noexcept { note_new_threads(where); }

}  // namespace tolvane
