#include "components.hpp"

#include <utility>

#include "os.hpp"
#include "platform/modules.hpp"
#include "process_info.hpp"

namespace tolvane {

namespace {

SymbolFinder& finder() {
  static SymbolFinder current;
  return current;
}

// "inp_converter.main" is the library inp_converter/main.<suffix> in the
// launcher's own directory.
std::string module_file(const std::string& module) {
  const auto dot = module.find('.');
  return os::path::join(program_directory(),
                        os::path::join(module.substr(0, dot),
                                       module.substr(dot + 1) + platform::module_suffix));
}

// A missing symbol is null. Loading a module that is loaded already only
// counts it once more; none is ever unloaded.
void* find(const std::string& where, const std::string& module, const std::string& symbol) {
  if (finder()) return finder()(module, symbol);
  return platform::find_symbol(platform::load_module(where, module_file(module)), symbol.c_str());
}

std::string version_of(const tolvane_declaration& declaration) {
  return std::to_string(declaration.major) + "." + std::to_string(declaration.minor);
}

// The entry, once its declaration says that it is what the name promises.
template <class Entry>
Entry bind(const std::string& module, const std::string& entry, std::uint32_t kind) {
  const std::string where = "import " + entry + " from " + module;
  const std::string file = finder() ? module : module_file(module);
  void* address = find(where, module, entry);
  if (address == nullptr)
    throw Failure(where, kind::binding,
                  "cannot import name '" + entry + "' from '" + module + "' (" + file + ")");
  const auto* declaration =
      static_cast<const tolvane_declaration*>(find(where, module, "tolvane_declaration_" + entry));
  const auto refuse = [&](const std::string& found, const std::string& why) {
    return Failure(where, kind::binding,
                   file + ": " + why + " (found " + found + ", expected " +
                       std::to_string(TOLVANE_INTERFACE_MAJOR) + ".x)");
  };
  if (declaration == nullptr || declaration->magic != TOLVANE_DECLARATION_MAGIC)
    throw refuse("no declaration",
                 entry + " has no declaration of the component interface it was built for");
  if (declaration->major != TOLVANE_INTERFACE_MAJOR)
    throw refuse("interface " + version_of(*declaration),
                 entry + " was built for another major version of the component interface");
  if (declaration->entry_kind != kind ||
      reinterpret_cast<void*>(declaration->entry) != address)
    throw refuse("interface " + version_of(*declaration),
                 entry + " is not the entry that its declaration describes");
  return reinterpret_cast<Entry>(declaration->entry);
}

[[noreturn]] void missing_operation(const char* where, const char* operation) {
  throw Failure(where, kind::binding,
                std::string("the object that the entry returned has no ") + operation);
}

}  // namespace

void set_symbol_finder(SymbolFinder f) { finder() = std::move(f); }

ComponentEntries bind_components() {
  ComponentEntries entries;
  entries.converter =
      bind<tolvane_converter_entry>("inp_converter.main", "CONVERTER", TOLVANE_ENTRY_CONVERTER);
  entries.editor = bind<tolvane_editor_entry>("editor.gui", "EDITOR", TOLVANE_ENTRY_EDITOR);
  entries.monitor = bind<tolvane_monitor_entry>("monitor.gui", "MONITOR", TOLVANE_ENTRY_MONITOR);
  return entries;
}

FailureReport::FailureReport() : tolvane_error{&FailureReport::report} {}

void FailureReport::report(tolvane_error* self, const char* kind, const char* message) noexcept {
  auto* sink = static_cast<FailureReport*>(self);
  if (sink->reported_) return;
  try {
    sink->kind_ = kind && *kind ? kind : "Exception";
    sink->message_ = message ? message : "";
    sink->reported_ = true;
  } catch (...) {
    // No memory to copy the texts: failure() still says that it failed.
  }
}

Failure FailureReport::failure(const char* where) const {
  if (!reported_) return Failure(where, "Exception", "the component failed without saying why");
  return Failure(where, kind_, message_);
}

void check_operations(const char* where, const tolvane_converter& converter) {
  if (!releasable(converter)) missing_operation(where, "release");
  if (converter.ops->main == nullptr) missing_operation(where, "main");
}

void check_operations(const char* where, const tolvane_editor& editor) {
  if (!releasable(editor)) missing_operation(where, "release");
  if (editor.ops->editor == nullptr) missing_operation(where, "editor");
}

void check_operations(const char* where, const tolvane_monitor& monitor) {
  if (!releasable(monitor)) missing_operation(where, "release");
  const tolvane_monitor_ops* ops = monitor.ops;
  if (ops->nogui_mode == nullptr) missing_operation(where, "nogui_mode");
  if (ops->run_process == nullptr) missing_operation(where, "run_process");
  if (ops->signal_handler == nullptr) missing_operation(where, "signal_handler");
  if (ops->monitor_main == nullptr) missing_operation(where, "monitor_main");
}

}  // namespace tolvane
