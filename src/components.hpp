// Binding the in-process component entries and calling into components
// through the C interface of <tolvane/component.h>. A module's entries are
// checked against their declarations before any is called; a failure that
// a component reports becomes a Failure that names the component and
// operation, and then travels like any other.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <tolvane/component.h>

#include "failure.hpp"

namespace tolvane {

struct ComponentEntries {
  tolvane_converter_entry converter = nullptr;
  tolvane_editor_entry editor = nullptr;
  tolvane_monitor_entry monitor = nullptr;
};

// The address of an exported symbol of a module ("inp_converter.main"),
// or null when it exports none of that name.
using SymbolFinder = std::function<void*(const std::string& module, const std::string& symbol)>;

// Tests bind components linked into themselves; empty restores loading the
// modules from the launcher's own directory.
void set_symbol_finder(SymbolFinder finder);

// Binds CONVERTER, EDITOR and MONITOR, in that order, each checked against
// its declaration.
ComponentEntries bind_components();

// Where a component reports its failure: the first kind and message of
// one call, copied.
class FailureReport : public tolvane_error {
 public:
  FailureReport();
  // The reported failure as a Failure of where; a component that failed
  // without saying why gets a message that says so.
  Failure failure(const char* where) const;

 private:
  static void report(tolvane_error* self, const char* kind, const char* message) noexcept;
  bool reported_ = false;
  std::string kind_;
  std::string message_;
};

// Calls operation(report) -> tolvane_status; after_call() runs as soon as
// the call returns (the pipeline acts on an interrupt there, which may be
// why the component failed); then a failed call throws its Failure.
template <class Operation, class AfterCall>
void call_component(const char* where, Operation&& operation, AfterCall&& after_call) {
  FailureReport report;
  const tolvane_status status = std::forward<Operation>(operation)(&report);
  std::forward<AfterCall>(after_call)();
  if (status != TOLVANE_OK) throw report.failure(where);
}

template <class Operation>
void call_component(const char* where, Operation&& operation) {
  call_component(where, std::forward<Operation>(operation), [] {});
}

// A component object, given back to its module when the launcher is done
// with it.
template <class T>
struct Release {
  void operator()(T* object) const noexcept { object->ops->release(object); }
};
template <class T>
using ComponentPtr = std::unique_ptr<T, Release<T>>;

// Whether the object can be given back, and whether it has the rest of
// its operations; an object without them is refused.
template <class T>
bool releasable(const T& object) {
  return object.ops != nullptr && object.ops->release != nullptr;
}
void check_operations(const char* where, const tolvane_converter& converter);
void check_operations(const char* where, const tolvane_editor& editor);
void check_operations(const char* where, const tolvane_monitor& monitor);

// Calls entry(report) -> T*, then after_call() (as call_component); a null
// object throws the reported Failure.
template <class T, class Entry, class AfterCall>
ComponentPtr<T> create_component(const char* where, Entry&& entry, AfterCall&& after_call) {
  FailureReport report;
  T* made = std::forward<Entry>(entry)(&report);
  // Owned at once where it can be given back, whatever fails next.
  ComponentPtr<T> object(made != nullptr && releasable(*made) ? made : nullptr);
  std::forward<AfterCall>(after_call)();
  if (made == nullptr) throw report.failure(where);
  check_operations(where, *made);
  return object;
}

}  // namespace tolvane
