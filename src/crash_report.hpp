// What the launcher says when a component crashes (an access violation, an
// illegal instruction, a division by zero, abort(), std::terminate): the
// run ends with status 1 and one diagnostic line naming the component call
// that was running, written without allocating, as nothing can be trusted
// any more. A component that ends the process itself (exit) is not a crash.
#pragma once

namespace tolvane {

// From start-up on, a crash on any thread ends the run that way. (So does
// std::terminate, from the process's start on; memory so short that the
// runtime cannot even make an exception is said as such.)
void report_crashes();

// Marks the component call that the calling thread is in, for as long as
// it lives; a crash names it.
class CallInProgress {
 public:
  explicit CallInProgress(const char* where) noexcept;
  ~CallInProgress();
  CallInProgress(const CallInProgress&) = delete;
  CallInProgress& operator=(const CallInProgress&) = delete;

 private:
  const char* previous_;
  bool on_worker_;
};

// Called first on the unattended monitor's worker thread, so that its
// crashes name its own call.
void mark_worker_thread() noexcept;

}  // namespace tolvane
