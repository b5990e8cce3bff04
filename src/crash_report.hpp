// What the launcher says when a component crashes (an access violation, an
// illegal instruction, a division by zero, abort(), std::terminate): the
// run ends with status 1 and one diagnostic line naming the component call
// that was running on the thread that crashed, or the call that started
// that thread, written without allocating, as nothing can be trusted any
// more. A component that ends the process itself (exit) is not a crash.
#pragma once

namespace tolvane {

// From start-up on, a crash on any thread ends the run that way. (So does
// std::terminate, from the process's start on; memory so short that the
// runtime cannot even make an exception is said as such.)
void report_crashes();

// Called first on every thread that the launcher starts, before it calls
// into a component: its crashes are reported like the main thread's.
void prepare_thread_for_crashes() noexcept;

// Marks the component call that the calling thread is in, for as long as
// it lives; a crash names it. When the call is over, the threads that
// appeared meanwhile are taken for the call's own: a crash on one of them
// later names it too; and what the call changed of the crash handling is
// put back.
class CallInProgress {
 public:
  explicit CallInProgress(const char* where) noexcept;
  ~CallInProgress();
  CallInProgress(const CallInProgress&) = delete;
  CallInProgress& operator=(const CallInProgress&) = delete;

 private:
  const char* where_;
  const char* previous_;
  bool previous_started_;
};

// Takes the threads that have appeared since the last look for those of
// where: a call that may still be starting them elsewhere (run_process).
void note_threads_of(const char* where) noexcept;

// Reports a crash of the calling thread, as the crash handling would (a
// call that ends the thread it runs on), and ends the process.
[[noreturn]] void report_crash_here(const char* description) noexcept;

}  // namespace tolvane
