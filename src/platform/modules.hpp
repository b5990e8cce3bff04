// Shared libraries loaded into the launcher's process: the in-process
// components.
#pragma once

#include <string>

namespace tolvane::platform {

extern const char* const module_suffix;  // ".dll" or ".so"

// Loads a shared library by its full path (never through a search path)
// and never unloads it. A failure names the module and the system's
// reason; a module that is not there says so.
void* load_module(const std::string& where, const std::string& path);

// The address of an exported symbol, or null when the module has none of
// that name.
void* find_symbol(void* module, const char* name);

}  // namespace tolvane::platform
