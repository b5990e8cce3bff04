#include "component_calls.hpp"

#include <cxxabi.h>

#include <atomic>
#include <iterator>
#include <new>
#include <string>

#include "crash_report.hpp"

namespace tolvane {

namespace {

// Where a component reports its failure: the first kind and message of
// one call, copied.
class FailureReport : public tolvane_error {
 public:
  FailureReport() : tolvane_error{&FailureReport::report} {}
  bool reported() const { return reported_; }
  // A component that failed without saying why gets a message that says so.
  Failure failure(const char* where) const {
    if (!reported_ || kind_.empty())
      return Failure(where, kind::unspecified, "the component failed without saying why");
    return Failure(where, kind_, message_);
  }

 private:
  static void report(tolvane_error* self, const char* kind, const char* message) noexcept {
    auto* sink = static_cast<FailureReport*>(self);
    if (sink->reported_) return;
    // Reported first: without memory to copy the texts, it still failed.
    sink->reported_ = true;
    try {
      sink->kind_ = kind && *kind ? kind : kind::unspecified;
      sink->message_ = message ? message : "";
    } catch (const std::bad_alloc&) {
      sink->kind_.clear();
      sink->message_.clear();
    }
  }

  bool reported_ = false;
  std::string kind_;
  std::string message_;
};

Failure lacks(const char* where, const char* operation) {
  return Failure(where, kind::missing_attribute,
                 std::string("the object that the entry returned has no ") + operation);
}

thread_local const std::int32_t* may_end_once = nullptr;

bool thread_may_end() {
  return may_end_once != nullptr &&
         std::atomic_ref<std::int32_t>(*const_cast<std::int32_t*>(may_end_once)).load() != 0;
}

template <class T>
bool releasable(const T& object) {
  return object.ops != nullptr && object.ops->release != nullptr;
}

}  // namespace

// The runtime's object of a thread's forced unwinding is no object at all,
// which UBSan's check of reference binding takes for a null reference.
__attribute__((no_sanitize("null"))) CallResult detail::cross(const char* where, Crossing crossing,
                                                              void* context) {
  FailureReport report;
  CallResult result;
  tolvane_status status = TOLVANE_FAILED;
  {
    const CallInProgress in_progress(where);
    try {
      status = crossing(context, &report);
    } catch (abi::__forced_unwind&) {
      if (!thread_may_end())
        report_crash_here("the call ended the launcher's thread (pthread_exit)");
      throw;  // a thread that is ending must go on unwinding
    } catch (...) {
      result.outcome.threw = true;
      result.failure = failure_of_thrown(where);
    }
  }
  result.outcome.succeeded = !result.outcome.threw && status == TOLVANE_OK;
  result.outcome.reported = report.reported();
  if (!result.failure && result.outcome.failed()) result.failure = report.failure(where);
  return result;
}

void let_thread_end_once(const std::int32_t* flag) noexcept { may_end_once = flag; }

void detail::keep_reachable(const void* object) noexcept {
  // A run keeps at most its three objects; a test process makes many
  // runs, and what does not fit is simply let go.
  static std::atomic<const void*> kept[256];
  static std::atomic<std::size_t> count{0};
  const std::size_t slot = count.fetch_add(1);
  if (slot < std::size(kept)) kept[slot].store(object);
}

std::optional<Failure> missing_operation(const char* where, const tolvane_converter& converter) {
  if (!releasable(converter)) return lacks(where, "release");
  if (converter.ops->main == nullptr) return lacks(where, "main");
  return std::nullopt;
}

std::optional<Failure> missing_operation(const char* where, const tolvane_editor& editor) {
  if (!releasable(editor)) return lacks(where, "release");
  if (editor.ops->editor == nullptr) return lacks(where, "editor");
  return std::nullopt;
}

std::optional<Failure> missing_operation(const char* where, const tolvane_monitor& monitor) {
  if (!releasable(monitor)) return lacks(where, "release");
  const tolvane_monitor_ops* ops = monitor.ops;
  if (ops->nogui_mode == nullptr) return lacks(where, "nogui_mode");
  if (ops->run_process == nullptr) return lacks(where, "run_process");
  if (ops->signal_handler == nullptr) return lacks(where, "signal_handler");
  if (ops->monitor_main == nullptr) return lacks(where, "monitor_main");
  return std::nullopt;
}

}  // namespace tolvane
