// In-process component modules natively: shared objects opened by their
// full path.

#include <dlfcn.h>
#include <unistd.h>

#include "modules.hpp"

namespace tolvane::platform {

const char* const module_suffix = ".so";

void restrict_library_search() {}

LoadedModule load_module(const std::string& path) {
  LoadedModule loaded;
  if (::access(path.c_str(), F_OK) != 0) {
    loaded.problem = LoadedModule::Problem::no_file;
    return loaded;
  }
  loaded.module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (loaded.module != nullptr) return loaded;
  std::string reason = ::dlerror();
  // dlerror names the file it could not open, but does not say whether
  // that is the module or a library that the module needs.
  const std::string own = path + ": ";
  const bool module_itself = reason.starts_with(own);
  loaded.problem =
      !module_itself && reason.find("cannot open shared object file") != std::string::npos
          ? LoadedModule::Problem::missing_library
          : LoadedModule::Problem::other;
  if (module_itself) reason.erase(0, own.size());
  loaded.system_text = reason;
  return loaded;
}

void* find_symbol(void* module, const char* name) { return ::dlsym(module, name); }

}  // namespace tolvane::platform
