// In-process component modules natively: shared objects opened by their
// full path.

#include <dlfcn.h>
#include <unistd.h>

#include "../failure.hpp"
#include "modules.hpp"

namespace tolvane::platform {

const char* const module_suffix = ".so";

void* load_module(const std::string& where, const std::string& path) {
  if (::access(path.c_str(), F_OK) != 0)
    throw Failure(where, kind::binding, "no such component module: " + path);
  if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  const std::string reason = ::dlerror();
  // dlerror names the file it could not open, but does not say whether
  // that is the module or a library that the module needs.
  const bool dependency_missing =
      !reason.starts_with(path + ":") &&
      reason.find("cannot open shared object file") != std::string::npos;
  throw Failure(where, kind::binding,
                dependency_missing
                    ? path + ": a library that the module depends on is missing: " + reason
                    : reason);
}

void* find_symbol(void* module, const char* name) { return ::dlsym(module, name); }

}  // namespace tolvane::platform
