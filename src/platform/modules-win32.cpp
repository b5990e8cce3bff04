// In-process component modules on Windows: DLLs loaded by their full path
// with a search order that never includes the current directory.

#include <windows.h>

#include "../paths.hpp"
#include "modules.hpp"
#include "support-win32.hpp"

namespace tolvane::platform {

const char* const module_suffix = ".dll";

namespace {

// SetDefaultDllDirectories, AddDllDirectory and the LOAD_LIBRARY_SEARCH_*
// flags came with Windows 8 (and an update for Vista and 7): looked up,
// not imported, so that the executable still loads where they are missing.
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using AddDllDirectoryFn = void*(WINAPI*)(PCWSTR);
AddDllDirectoryFn add_dll_directory = nullptr;
bool search_flags_supported = false;

template <class Function>
Function kernel32_function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

}  // namespace

void win32::restrict_dll_search() {
  const auto set_default =
      kernel32_function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
  add_dll_directory = kernel32_function<AddDllDirectoryFn>("AddDllDirectory");
  // The system's folder, and the component modules' folders as they are
  // loaded: what a component loads later, beside itself, is found too.
  search_flags_supported =
      set_default != nullptr && add_dll_directory != nullptr &&
      set_default(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS) != FALSE;
  // Without them, at least keep the current directory out of the search.
  if (!search_flags_supported) SetDllDirectoryW(L"");
}

void* load_module(const std::string& where, const std::string& path) {
  const std::wstring file = win32::wide(path);
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
    throw Failure(where, kind::binding, "no such component module: " + path);
  if (search_flags_supported)
    add_dll_directory(win32::wide(paths::dirname(paths::Flavour::windows, path)).c_str());
  // The module's own folder is searched for the libraries it needs, then
  // the system's; never the current directory.
  const DWORD flags = search_flags_supported
                          ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                          : LOAD_WITH_ALTERED_SEARCH_PATH;
  if (HMODULE module = LoadLibraryExW(file.c_str(), nullptr, flags))
    return reinterpret_cast<void*>(module);
  const DWORD code = GetLastError();
  // Error 126 names no file: for a module that is there, it is one of the
  // libraries that the module depends on that is missing.
  const std::string reason =
      code == ERROR_MOD_NOT_FOUND ? "a library that the module depends on is missing: " : "";
  throw win32::failure_of_kind(where, kind::binding, path + ": " + reason + "LoadLibraryExW", code,
                               path);
}

void* find_symbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

}  // namespace tolvane::platform
