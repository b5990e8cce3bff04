#include "binding.hpp"

#include "crash_report.hpp"
#include "failure.hpp"
#include "os.hpp"
#include "platform/crashes.hpp"
#include "platform/modules.hpp"

namespace tolvane {

namespace {

// Why a module did not load, in the launcher's words.
Failure load_failure(const ComponentKind& kind, const std::string& path,
                     const platform::LoadedModule& loaded) {
  using Problem = platform::LoadedModule::Problem;
  std::string message = path + ": ";
  switch (loaded.problem) {
    case Problem::no_file:
      return Failure(kind.import_where, kind::binding, "no such component module: " + path);
    case Problem::missing_library:
      message += "a library that the module depends on is missing: ";
      if (!loaded.missing_library.empty()) message += loaded.missing_library + ": ";
      break;
    case Problem::initialiser_threw: message += "its initialiser let a C++ exception out: "; break;
    case Problem::none:
    case Problem::other: break;
  }
  return Failure(kind.import_where, kind::binding, message + loaded.system_text);
}

std::string version_of(const tolvane_declaration& declaration) {
  return std::to_string(declaration.major) + "." + std::to_string(declaration.minor);
}

}  // namespace

std::string module_path(const std::string& folder, const ComponentKind& kind) {
  return os::path::join(folder, os::path::join(kind.module_folder, std::string(kind.module_file) +
                                                                       platform::module_suffix));
}

std::string ModuleFolder::module_name(const ComponentKind& kind) const {
  return module_path(folder_, kind);
}

void* ModuleFolder::symbol(const ComponentKind& kind, const char* name) {
  void*& module = loaded_[static_cast<std::size_t>(kind.role)];
  if (module == nullptr) {
    // Loading runs the module's initialisers: a crash there names it, and
    // so does an exception that one lets out through the loader.
    const CallInProgress in_progress(kind.import_where);
    const std::string path = module_name(kind);
    platform::LoadedModule loaded;
    try {
      loaded = platform::load_module(path);
    } catch (...) {
      throw failure_of_thrown(kind.import_where);
    }
    if (loaded.module == nullptr) throw load_failure(kind, path, loaded);
    platform::take_over_abort(loaded.module);
    module = loaded.module;
  }
  return platform::find_symbol(module, name);
}

BoundEntry bind_entry(const ComponentKind& kind, SymbolSource& source) {
  const std::string where = kind.import_where, entry = kind.entry, module = kind.module;
  const std::string file = source.module_name(kind);
  const std::string cpp_export = "TOLVANE_EXPORT_" + entry + "(Class)";
  const std::string c_declare = "TOLVANE_DECLARE_" + entry;
  void* address = source.symbol(kind, kind.entry);
  if (address == nullptr)
    throw Failure(where, kind::binding,
                  "cannot import name '" + entry + "' from '" + module + "' (" + file +
                      "): export it with " + cpp_export + " in C++, or TOLVANE_EXPORT and " +
                      c_declare + " in C");
  const auto* declaration = static_cast<const tolvane_declaration*>(
      source.symbol(kind, ("tolvane_declaration_" + entry).c_str()));
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
  // The version is right here: what is wrong is which entry it declares.
  if (declaration->entry_kind != kind.entry_kind ||
      reinterpret_cast<void*>(declaration->entry) != address)
    throw Failure(where, kind::binding,
                  file + ": " + entry + " is not the entry that its declaration describes: " +
                      "declare it with " + c_declare + ", or export it with " + cpp_export);
  return {declaration->entry, declaration->major, declaration->minor};
}

ComponentEntries bind_components(SymbolSource& source) {
  ComponentEntries entries;
  entries.converter = bind_entry(kind_of(Role::converter), source);
  entries.editor = bind_entry(kind_of(Role::editor), source);
  entries.monitor = bind_entry(kind_of(Role::monitor), source);
  return entries;
}

}  // namespace tolvane
