// Binding the in-process component entries: each entry checked against
// its module's declaration of it before any entry is called.
#pragma once

#include <cstdint>
#include <string>

#include <tolvane/component.h>

#include "component_kinds.hpp"

namespace tolvane {

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

// Where the entries' symbols come from: the modules of a folder, or (for
// the validator's stand-ins and for tests) components linked in.
class SymbolSource {
 public:
  virtual ~SymbolSource() = default;
  // The module as the failures name it: its file, for a loaded module.
  virtual std::string module_name(const ComponentKind& kind) const = 0;
  // The address of an exported symbol of kind's module, or null when it
  // exports none of that name; loading the module may fail.
  virtual void* symbol(const ComponentKind& kind, const char* name) = 0;
};

// The modules in folder: inp_converter/main.<suffix> and the others, each
// loaded by its full path, running its initialisers, never unloaded.
class ModuleFolder final : public SymbolSource {
 public:
  explicit ModuleFolder(std::string folder) : folder_(std::move(folder)) {}
  std::string module_name(const ComponentKind& kind) const override;
  void* symbol(const ComponentKind& kind, const char* name) override;

 private:
  std::string folder_;
  void* loaded_[component_kinds.size()] = {};
};

// The file of kind's module in folder.
std::string module_path(const std::string& folder, const ComponentKind& kind);

// Binds kind's entry: refused when the module is missing, when the entry
// or its declaration is, when it was built for another major or a newer
// minor version of the interface, or when it is not what its declaration
// says.
BoundEntry bind_entry(const ComponentKind& kind, SymbolSource& source);

// Binds CONVERTER, EDITOR and MONITOR, in that order.
ComponentEntries bind_components(SymbolSource& source);

}  // namespace tolvane
