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

// "inp_converter.main" is the library inp_converter/main.<suffix> in the
// launcher's own directory.
std::string module_file(const std::string& module) {
  const auto dot = module.find('.');
  return os::path::join(program_directory(),
                        os::path::join(module.substr(0, dot),
                                       module.substr(dot + 1) + platform::module_suffix));
}

// What binding one entry needs to know; where is a literal, as a crash
// in a module's initialisers names it.
struct EntryName {
  const char* module;
  const char* entry;
  std::uint32_t kind;
  const char* where;
};
constexpr EntryName converter_entry{"inp_converter.main", "CONVERTER", TOLVANE_ENTRY_CONVERTER,
                                    "import CONVERTER from inp_converter.main"};
constexpr EntryName editor_entry{"editor.gui", "EDITOR", TOLVANE_ENTRY_EDITOR,
                                 "import EDITOR from editor.gui"};
constexpr EntryName monitor_entry{"monitor.gui", "MONITOR", TOLVANE_ENTRY_MONITOR,
                                  "import MONITOR from monitor.gui"};

// A missing symbol is null. Loading a module that is loaded already only
// counts it once more; none is ever unloaded. Loading runs the module's
// initialisers.
void* find(const EntryName& name, const std::string& symbol) {
  if (finder()) return finder()(name.module, symbol);
  const CallInProgress in_progress(name.where);
  return platform::find_symbol(platform::load_module(name.where, module_file(name.module)),
                               symbol.c_str());
}

std::string version_of(const tolvane_declaration& declaration) {
  return std::to_string(declaration.major) + "." + std::to_string(declaration.minor);
}

// The entry, once its declaration says that it is what the name promises.
template <class Entry>
Entry bind(const EntryName& name) {
  const std::string where = name.where, entry = name.entry, module = name.module;
  const std::string file = finder() ? module : module_file(module);
  void* address = find(name, entry);
  if (address == nullptr)
    throw Failure(where, kind::binding,
                  "cannot import name '" + entry + "' from '" + module + "' (" + file + ")");
  const auto* declaration =
      static_cast<const tolvane_declaration*>(find(name, "tolvane_declaration_" + entry));
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
  if (declaration->entry_kind != name.kind ||
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

void abandon(const void* object) noexcept {
  // A run abandons at most its three objects; a test process makes many
  // runs, and what does not fit is simply let go.
  static std::atomic<const void*> abandoned[256];
  static std::atomic<std::size_t> count{0};
  const std::size_t slot = count.fetch_add(1);
  if (slot < std::size(abandoned)) abandoned[slot].store(object);
}

ComponentEntries bind_components() {
  ComponentEntries entries;
  entries.converter = bind<tolvane_converter_entry>(converter_entry);
  entries.editor = bind<tolvane_editor_entry>(editor_entry);
  entries.monitor = bind<tolvane_monitor_entry>(monitor_entry);
  return entries;
}

FailureReport::FailureReport() : tolvane_error{&FailureReport::report} {}

void FailureReport::report(tolvane_error* self, const char* kind, const char* message) noexcept {
  auto* sink = static_cast<FailureReport*>(self);
  if (sink->reported_) return;
  // Reported first: without memory to copy the texts, it still failed.
  sink->reported_ = true;
  try {
    sink->kind_ = kind && *kind ? kind : "Exception";
    sink->message_ = message ? message : "";
  } catch (const std::bad_alloc&) {
    sink->kind_.clear();
    sink->message_.clear();
  }
}

Failure FailureReport::failure(const char* where) const {
  if (!reported_ || kind_.empty())
    return Failure(where, "Exception", "the component failed without saying why");
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
