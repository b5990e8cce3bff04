// Binding the in-process component entries and calling into components.
// Component code throws its own exceptions; at this boundary each becomes a
// Failure that names the component and operation, and then travels like
// any other.
#pragma once

#include <functional>
#include <string>
#include <typeinfo>
#include <utility>

#include <tolvane/component.hpp>

#include "failure.hpp"

namespace tolvane {

struct ComponentEntries {
  component::ConverterFactory converter = nullptr;
  component::EditorFactory editor = nullptr;
  component::MonitorFactory monitor = nullptr;
};

// Resolves one entry ("CONVERTER") of one module ("inp_converter.main").
using EntryBinder = std::function<void*(const std::string& module, const std::string& entry)>;

// Tests bind components linked into themselves; empty restores loading the
// modules from the launcher's own directory.
void set_entry_binder(EntryBinder binder);

// Binds CONVERTER, EDITOR and MONITOR, in that order.
ComponentEntries bind_components();

template <class Call>
decltype(auto) call_component(const char* where, Call&& call) {
  try {
    return std::forward<Call>(call)();
  } catch (const std::exception& error) {
    throw Failure(where, exception_kind(typeid(error)), error.what());
  } catch (...) {
    throw Failure(where, "exception", "an exception of unknown type");
  }
}

}  // namespace tolvane
