// One call into an in-process component across the C interface of
// <tolvane/component.h>: marked for crash reports, with whatever the
// module lets out caught, and what it came to: its own result, a failure
// it reported, an exception. A failed call becomes a Failure that names
// the component and operation, and then travels like any other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include <tolvane/component.h>

#include "failure.hpp"

namespace tolvane {

// What a call did, for whoever watches it (the validator says which rule
// a component broke from it).
struct CallOutcome {
  bool succeeded = false;  // TOLVANE_OK, or an entry's object
  bool reported = false;   // a failure reported, whatever it returned
  bool threw = false;      // an exception left it
  bool failed() const { return !succeeded || reported || threw; }
};

struct CallResult {
  CallOutcome outcome;
  std::optional<Failure> failure;  // set exactly when the call failed
};

namespace detail {
using Crossing = tolvane_status (*)(void* context, tolvane_error* error);
CallResult cross(const char* where, Crossing crossing, void* context);
// Keeps an object that is not given back reachable, as the process ends
// with it on purpose (a leak checker would otherwise call it lost).
void keep_reachable(const void* object) noexcept;
}  // namespace detail

// Calls operation(tolvane_error*) -> tolvane_status as the component call
// where. A call fails when it returns TOLVANE_FAILED, when it reports a
// failure whatever it returns, and when an exception leaves it (one that a
// module written without component.hpp lets out).
template <class Operation>
CallResult call_across(const char* where, Operation&& operation) {
  return detail::cross(
      where,
      [](void* context, tolvane_error* error) -> tolvane_status {
        return (*static_cast<std::remove_reference_t<Operation>*>(context))(error);
      },
      &operation);
}

// A component object that the launcher holds until it gives it back
// through the module's ops->release. An object still held when a failure
// passes is not given back: the process ends with that failure, and the
// broken component's release could crash and hide it.
template <class T>
class Component {
 public:
  // where_release names the module's release ("CONVERTER.release").
  Component(const char* where_release, T* object) noexcept
      : where_(where_release), object_(object) {}
  Component(Component&& other) noexcept
      : where_(other.where_), object_(std::exchange(other.object_, nullptr)) {}
  Component& operator=(Component&&) = delete;
  ~Component() {
    if (object_ != nullptr) detail::keep_reachable(object_);
  }

  const char* where_release() const noexcept { return where_; }
  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  // The object, no longer held: for its release.
  T* release_ownership() noexcept { return std::exchange(object_, nullptr); }

 private:
  const char* where_;
  T* object_;
};

// A call that ends the thread it runs on (pthread_exit) is a crash of
// that call: the launcher's threads are not the components' to end. The
// monitor's worker may end once the monitor is done: flag, read
// atomically, says so (null: never) for the calling thread.
void let_thread_end_once(const std::int32_t* flag) noexcept;

// Whether the object has every operation the launcher calls; an object
// without one is refused before it is used.
std::optional<Failure> missing_operation(const char* where, const tolvane_converter& converter);
std::optional<Failure> missing_operation(const char* where, const tolvane_editor& editor);
std::optional<Failure> missing_operation(const char* where, const tolvane_monitor& monitor);

}  // namespace tolvane
