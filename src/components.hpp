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

// Calls operation(report) -> tolvane_status; a failed call throws its
// Failure.
template <class Operation>
void call_component(const char* where, Operation&& operation) {
  FailureReport report;
  if (std::forward<Operation>(operation)(&report) != TOLVANE_OK) throw report.failure(where);
}

// A component object, given back to its module when the launcher is done
// with it.
template <class T>
struct Release {
  void operator()(T* object) const noexcept { object->ops->release(object); }
};
template <class T>
using ComponentPtr = std::unique_ptr<T, Release<T>>;

// An object without its operations is refused (before it is owned: one
// without release cannot be given back).
void check_operations(const char* where, const tolvane_converter& converter);
void check_operations(const char* where, const tolvane_editor& editor);
void check_operations(const char* where, const tolvane_monitor& monitor);

// Calls entry(report) -> T*; a null object throws the reported Failure.
template <class T, class Entry>
ComponentPtr<T> create_component(const char* where, Entry&& entry) {
  FailureReport report;
  T* object = std::forward<Entry>(entry)(&report);
  if (object == nullptr) throw report.failure(where);
  check_operations(where, *object);
  return ComponentPtr<T>(object);
}

}  // namespace tolvane
