#include "components.hpp"

#include <atomic>
#include <iterator>
#include <new>
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

// "inp_converter.main" is the library inp_converter/main.<suffix> in
// folder.
std::string module_file(const std::string& folder, const std::string& module) {
  const auto dot = module.find('.');
  return os::path::join(folder, os::path::join(module.substr(0, dot),
                                               module.substr(dot + 1) + platform::module_suffix));
}

// A missing symbol is null. Loading a module that is loaded already only
// counts it once more; none is ever unloaded. Loading runs the module's
// initialisers.
void* find(const EntryName& name, const std::string& file, const std::string& symbol) {
  if (finder()) return finder()(name.module, symbol);
  const CallInProgress in_progress(name.where);
  return platform::find_symbol(platform::load_module(name.where, file), symbol.c_str());
}

std::string version_of(const tolvane_declaration& declaration) {
  return std::to_string(declaration.major) + "." + std::to_string(declaration.minor);
}

}  // namespace

BoundEntry bind_entry(const EntryName& name, const std::string& folder) {
  const std::string where = name.where, entry = name.entry, module = name.module;
  const std::string file = finder() ? module : module_file(folder, module);
  const std::string cpp_export = "TOLVANE_EXPORT_" + entry + "(Class)";
  const std::string c_declare = "TOLVANE_DECLARE_" + entry;
  void* address = find(name, file, entry);
  if (address == nullptr)
    throw Failure(where, kind::binding,
                  "cannot import name '" + entry + "' from '" + module + "' (" + file +
                      "): export it with " + cpp_export + " in C++, or TOLVANE_EXPORT and " +
                      c_declare + " in C");
  const auto* declaration =
      static_cast<const tolvane_declaration*>(find(name, file, "tolvane_declaration_" + entry));
  const auto refuse = [&](const std::string& why, const std::string& found,
                          const std::string& expected) {
    return Failure(
        where, kind::binding,
        file + ": " + entry + " " + why + " (found " + found + ", expected " + expected + ")");
  };
  const std::string any_minor = std::to_string(TOLVANE_INTERFACE_MAJOR) + ".x";
  if (declaration == nullptr || declaration->magic != TOLVANE_DECLARATION_MAGIC)
    throw refuse("has no declaration of the component interface it was built for: add " +
                     c_declare + " after it, or export it with " + cpp_export,
                 "no declaration", any_minor);
  if (declaration->major != TOLVANE_INTERFACE_MAJOR)
    throw refuse("was built for another major version of the component interface",
                 "interface " + version_of(*declaration), any_minor);
  // A newer minor version may count on what this launcher does not do.
  if (declaration->minor > TOLVANE_INTERFACE_MINOR)
    throw refuse("was built for a newer minor version of the component interface",
                 "interface " + version_of(*declaration),
                 std::to_string(TOLVANE_INTERFACE_MAJOR) + "." +
                     std::to_string(TOLVANE_INTERFACE_MINOR) + " or older");
  if (declaration->entry_kind != name.entry_kind ||
      reinterpret_cast<void*>(declaration->entry) != address)
    throw refuse("is not the entry that its declaration describes",
                 "interface " + version_of(*declaration), any_minor);
  return {declaration->entry, declaration->major, declaration->minor};
}

namespace {

[[noreturn]] void missing_operation(const char* where, const char* operation) {
  throw Failure(where, kind::missing_attribute,
                std::string("the object that the entry returned has no ") + operation);
}

}  // namespace

void set_symbol_finder(SymbolFinder f) { finder() = std::move(f); }

void abandon(const void* object) noexcept {
  // A run abandons at most its three objects; a test process makes many
  // runs, and what does not fit is simply let go.
  static std::atomic<const void*> abandoned[256];
  static std::atomic<std::size_t> count{0};
  const std::size_t slot = count.fetch_add(1);
  if (slot < std::size(abandoned)) abandoned[slot].store(object);
}

ComponentEntries bind_components() {
  const std::string& folder = program_directory();
  ComponentEntries entries;
  entries.converter = bind_entry(converter_entry, folder);
  entries.editor = bind_entry(editor_entry, folder);
  entries.monitor = bind_entry(monitor_entry, folder);
  return entries;
}

FailureReport::FailureReport() : tolvane_error{&FailureReport::report} {}

void FailureReport::report(tolvane_error* self, const char* kind, const char* message) noexcept {
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

Failure FailureReport::failure(const char* where) const {
  if (!reported_ || kind_.empty())
    return Failure(where, kind::unspecified, "the component failed without saying why");
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
