// Binding the in-process component entries and calling into components
// through the C interface of <tolvane/component.h>. A module's entries are
// checked against their declarations before any is called; a failure that
// a component reports becomes a Failure that names the component and
// operation, and then travels like any other.
#pragma once

#include <cxxabi.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include <tolvane/component.h>

#include "crash_report.hpp"
#include "failure.hpp"

namespace tolvane {

// What binding one entry needs to know; where is a literal, as a crash in
// a module's initialisers names it.
struct EntryName {
  const char* module;
  const char* entry;
  std::uint32_t entry_kind;  // TOLVANE_ENTRY_CONVERTER, ... as its declaration says
  const char* where;
};
inline constexpr EntryName converter_entry{"inp_converter.main", "CONVERTER",
                                           TOLVANE_ENTRY_CONVERTER,
                                           "import CONVERTER from inp_converter.main"};
inline constexpr EntryName editor_entry{"editor.gui", "EDITOR", TOLVANE_ENTRY_EDITOR,
                                        "import EDITOR from editor.gui"};
inline constexpr EntryName monitor_entry{"monitor.gui", "MONITOR", TOLVANE_ENTRY_MONITOR,
                                         "import MONITOR from monitor.gui"};

// An entry as its module declares it: the interface version stays known,
// for a launcher that adapts to what an older minor version expects.
struct BoundEntry {
  tolvane_function address = nullptr;
  std::uint16_t major = 0;
  std::uint16_t minor = 0;

  template <class Entry>
  Entry as() const {
    return reinterpret_cast<Entry>(address);
  }
};

struct ComponentEntries {
  BoundEntry converter;
  BoundEntry editor;
  BoundEntry monitor;
};

// The address of an exported symbol of a module ("inp_converter.main"),
// or null when it exports none of that name.
using SymbolFinder = std::function<void*(const std::string& module, const std::string& symbol)>;

// Tests bind components linked into themselves; empty restores loading the
// modules from the launcher's own directory.
void set_symbol_finder(SymbolFinder finder);

// Binds the entry from its module in folder, checked against its
// declaration: refused when the module is missing, when the entry or its
// declaration is, when it was built for another major or a newer minor
// version of the interface, or when it is not what its declaration says.
BoundEntry bind_entry(const EntryName& name, const std::string& folder);

// Binds CONVERTER, EDITOR and MONITOR from the launcher's own folder, in
// that order.
ComponentEntries bind_components();

// Where a component reports its failure: the first kind and message of
// one call, copied.
class FailureReport : public tolvane_error {
 public:
  FailureReport();
  // Whether the component reported a failure, whatever its call returned.
  bool reported() const { return reported_; }
  // The reported failure as a Failure of where; a component that failed
  // without saying why gets a message that says so.
  Failure failure(const char* where) const;

 private:
  static void report(tolvane_error* self, const char* kind, const char* message) noexcept;
  bool reported_ = false;
  std::string kind_;
  std::string message_;
};

// Runs call(report) as the component call where (a crash names it). A C++
// exception that a module lets out across the C interface (one written
// without component.hpp) becomes where's failure in thrown.
template <class Call>
auto call_across(const char* where, FailureReport& report, std::optional<Failure>& thrown,
                 Call&& call) -> decltype(call(&report)) {
  const CallInProgress in_progress(where);
  try {
    return std::forward<Call>(call)(&report);
  } catch (abi::__forced_unwind&) {
    throw;  // a thread that is being cancelled must go on unwinding
  } catch (...) {
    thrown = failure_of_thrown(where);
  }
  return {};
}

// Calls operation(report) -> tolvane_status; after_call() runs as soon as
// the call returns (the pipeline acts on an interrupt there, which may be
// why the component failed); then a failed call throws its Failure. A call
// fails when it returns TOLVANE_FAILED, when it reports a failure whatever
// it returns, and when an exception leaves it.
template <class Operation, class AfterCall>
void call_component(const char* where, Operation&& operation, AfterCall&& after_call) {
  FailureReport report;
  std::optional<Failure> thrown;
  const tolvane_status status =
      call_across(where, report, thrown, std::forward<Operation>(operation));
  std::forward<AfterCall>(after_call)();
  if (thrown) throw *std::move(thrown);
  if (status != TOLVANE_OK || report.reported()) throw report.failure(where);
}

template <class Operation>
void call_component(const char* where, Operation&& operation) {
  call_component(where, std::forward<Operation>(operation), [] {});
}

// Keeps an object that is not given back to its module reachable, as the
// process ends with it on purpose.
void abandon(const void* object) noexcept;

// A component object, given back to its module through its ops->release
// when the launcher is done with it, by release(): a failure of the
// module's release is the run's failure. An object still held when a
// failure passes is not given back: the process ends with that failure,
// and the broken component's release could crash and hide it.
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
    if (object_ != nullptr) abandon(object_);
  }

  // Names the module's release, as its failure does.
  const char* where() const noexcept { return where_; }
  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }

  // after_call as in call_component.
  template <class AfterCall>
  void release(AfterCall&& after_call) {
    T* object = std::exchange(object_, nullptr);
    call_component(
        where_,
        [object](tolvane_error*) {
          object->ops->release(object);
          return TOLVANE_OK;
        },
        std::forward<AfterCall>(after_call));
  }

 private:
  const char* where_;
  T* object_;
};

// Whether the object can be given back, and whether it has the rest of
// its operations; an object without them is refused.
template <class T>
bool releasable(const T& object) {
  return object.ops != nullptr && object.ops->release != nullptr;
}
void check_operations(const char* where, const tolvane_converter& converter);
void check_operations(const char* where, const tolvane_editor& editor);
void check_operations(const char* where, const tolvane_monitor& monitor);

// Calls entry(report) -> T*, then after_call() (as call_component). A null
// object, a reported failure or an exception throws the Failure; an object
// made all the same is kept, not given back (see Component).
template <class T, class Entry, class AfterCall>
Component<T> create_component(const char* where, const char* where_release, Entry&& entry,
                              AfterCall&& after_call) {
  FailureReport report;
  std::optional<Failure> thrown;
  T* made = call_across(where, report, thrown, std::forward<Entry>(entry));
  Component<T> object(where_release, made);
  std::forward<AfterCall>(after_call)();
  if (thrown) throw *std::move(thrown);
  if (made == nullptr || report.reported()) throw report.failure(where);
  check_operations(where, *made);
  return object;
}

}  // namespace tolvane
