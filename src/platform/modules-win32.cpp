// In-process component modules on Windows: DLLs loaded by their full path
// with a search order that never includes the current folder.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "../paths.hpp"
#include "../pe_imports.hpp"
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

// The bytes of a file, or nothing when it cannot be read whole.
std::optional<std::string> file_bytes(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  LARGE_INTEGER size{};
  std::optional<std::string> bytes;
  if (GetFileSizeEx(file, &size) && size.QuadPart < (LONGLONG{1} << 30)) {
    std::string read(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (ReadFile(file, read.data(), static_cast<DWORD>(read.size()), &got, nullptr) &&
        got == read.size())
      bytes = std::move(read);
  }
  CloseHandle(file);
  return bytes;
}

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring system_folder() {
  wchar_t buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// The first library that the module at path imports, or that one of the
// libraries beside it imports in turn, that the loader cannot find:
// neither loaded already, nor beside the module, nor in the system's
// folder (an API set, "api-ms-..." or "ext-ms-...", is the system's own).
// Error 126 names no file; this says which.
std::optional<std::string> missing_library(const std::wstring& path, int depth = 0) {
  const auto bytes = file_bytes(path);
  if (!bytes || depth > 4) return std::nullopt;
  const std::wstring folder =
      win32::wide(paths::dirname(paths::Flavour::windows, win32::narrow(path)));
  const auto in = [](std::wstring place, const std::wstring& file) {
    return place.append(L"\\").append(file);
  };
  const std::wstring system = system_folder();
  for (const std::string& name : imported_libraries(*bytes)) {
    const std::wstring library = win32::wide(name);
    if (name.starts_with("api-ms-") || name.starts_with("ext-ms-") ||
        GetModuleHandleW(library.c_str()) != nullptr || is_file(in(system, library)))
      continue;
    const std::wstring beside = in(folder, library);
    if (!is_file(beside)) return name;
    if (auto deeper = missing_library(beside, depth + 1))
      return *deeper + " (needed by " + name + ")";
  }
  return std::nullopt;
}

}  // namespace

void restrict_library_search() {
  const auto set_default =
      kernel32_function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
  add_dll_directory = kernel32_function<AddDllDirectoryFn>("AddDllDirectory");
  // The system's folder, and the component modules' folders as they are
  // loaded: what a component loads later, beside itself, is found too.
  search_flags_supported =
      set_default != nullptr && add_dll_directory != nullptr &&
      set_default(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS) != FALSE;
  // Without them, at least keep the current folder out of the search.
  if (!search_flags_supported) SetDllDirectoryW(L"");
}

LoadedModule load_module(const std::string& path) {
  LoadedModule loaded;
  const std::wstring file = win32::wide(path);
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    loaded.problem = LoadedModule::Problem::no_file;
    return loaded;
  }
  if (search_flags_supported)
    add_dll_directory(win32::wide(paths::dirname(paths::Flavour::windows, path)).c_str());
  // The module's own folder is searched for the libraries it needs, then
  // the system's; never the current folder.
  const DWORD flags = search_flags_supported
                          ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                          : LOAD_WITH_ALTERED_SEARCH_PATH;
  if (HMODULE module = LoadLibraryExW(file.c_str(), nullptr, flags)) {
    loaded.module = reinterpret_cast<void*>(module);
    return loaded;
  }
  const DWORD code = GetLastError();
  loaded.system_text = describe(win32::error("LoadLibraryExW", code, path));
  loaded.problem = LoadedModule::Problem::other;
  // Error 126 names no file: for a module that is there, it is one of the
  // libraries that the module depends on that is missing.
  if (code == ERROR_MOD_NOT_FOUND) {
    loaded.problem = LoadedModule::Problem::missing_library;
    loaded.missing_library = missing_library(file).value_or("");
  }
  // Wine hands an exception that a module's initialiser lets out back as
  // its code: GCC's C++ exceptions carry this one.
  if (code == 0x20474343) loaded.problem = LoadedModule::Problem::initialiser_threw;
  return loaded;
}

void* find_symbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

}  // namespace tolvane::platform
