// Shared libraries loaded into the launcher's process: the in-process
// components.
#pragma once

#include <string>

namespace tolvane::platform {

extern const char* const module_suffix;  // ".dll" or ".so"

// Keeps the current folder out of the search for the libraries that
// modules load (Windows: System32 and, as they are loaded, the modules'
// own folders; natively the search never holds it). At start-up, before
// anything is loaded.
void restrict_library_search();

// What loading a module came to.
struct LoadedModule {
  void* module = nullptr;  // the module, never unloaded; null when it did not load
  enum class Problem {
    none,
    no_file,            // there is no file at the path
    missing_library,    // a library that it needs is not there
    initialiser_threw,  // its initialiser let an exception out, which the loader caught
    other,
  } problem = Problem::none;
  std::string missing_library;  // the library's name, when the system does not say it
  std::string system_text;      // what the system said, whole, without the module's path
};

// Loads a shared library by its full path, never through a search path.
LoadedModule load_module(const std::string& path);

// The address of an exported symbol, or null when the module has none of
// that name.
void* find_symbol(void* module, const char* name);

}  // namespace tolvane::platform
