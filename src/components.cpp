#include "components.hpp"

#include <cstdlib>
#include <memory>

#include "main.hpp"
#include "platform/platform.hpp"
#include "process_info.hpp"

namespace tolvane {

namespace {

EntryBinder& binder() {
  static EntryBinder current;
  return current;
}

// "inp_converter.main" is the library inp_converter/main.<suffix> in the
// launcher's own directory.
std::string module_file(const std::string& module) {
  std::string relative = module;
  const auto dot = relative.find('.');
  relative = join(relative.substr(0, dot), relative.substr(dot + 1) + platform::module_suffix);
  return join(program_directory(), relative);
}

void* bind_from_disk(const std::string& module, const std::string& entry) {
  const std::string where = "import " + entry + " from " + module;
  void* handle = platform::load_module(where, module_file(module));
  return platform::find_entry(where, handle, entry.c_str());
}

template <class Factory>
Factory bind(const std::string& module, const std::string& entry) {
  void* address = binder() ? binder()(module, entry) : bind_from_disk(module, entry);
  if (address == nullptr)
    throw Failure("import " + entry + " from " + module, kind::binding,
                  "cannot import name '" + entry + "' from '" + module + "'");
  return reinterpret_cast<Factory>(address);
}

}  // namespace

void set_entry_binder(EntryBinder b) { binder() = std::move(b); }

ComponentEntries bind_components() {
  ComponentEntries entries;
  entries.converter = bind<component::ConverterFactory>("inp_converter.main", "CONVERTER");
  entries.editor = bind<component::EditorFactory>("editor.gui", "EDITOR");
  entries.monitor = bind<component::MonitorFactory>("monitor.gui", "MONITOR");
  return entries;
}

}  // namespace tolvane
