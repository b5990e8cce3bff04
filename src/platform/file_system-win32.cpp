// The current folder and the path queries on Windows.

#include <windows.h>

#include "../windows_errors.hpp"
#include "file_system.hpp"
#include "support-win32.hpp"

namespace tolvane::platform {

using win32::narrow;
using win32::wide;

const paths::Flavour path_flavour = paths::Flavour::windows;

SystemResult<std::string> current_folder() {
  auto current = win32::grown("GetCurrentDirectoryW",
                              [](wchar_t* b, DWORD size) { return GetCurrentDirectoryW(size, b); });
  if (!current) return current.error();
  return narrow(*current);
}

std::optional<SystemError> change_folder(const std::string& path) {
  if (SetCurrentDirectoryW(wide(path).c_str())) return std::nullopt;
  const DWORD code = GetLastError();
  return win32::error("SetCurrentDirectoryW('" + path + "')", code, path);
}

SystemResult<std::string> absolute_path(const std::string& path) {
  const std::string normal = paths::normalize(path_flavour, path);
  const std::wstring wide_normal = wide(normal);
  DWORD error = ERROR_SUCCESS;
  if (const auto full = win32::grown_or_error(
          [&](wchar_t* b, DWORD size) {
            return GetFullPathNameW(wide_normal.c_str(), size, b, nullptr);
          },
          error))
    return narrow(*full);
  // Text that the call cannot place (Wine gives nothing for " ") is still
  // a name in the current folder.
  auto current = current_folder();
  if (!current) return current;
  return paths::join(path_flavour, *current, normal);
}

SystemResult<std::string> final_path(const std::string& path) {
  const HANDLE h = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  std::optional<std::wstring> final;
  if (h != INVALID_HANDLE_VALUE) {
    final = win32::grown_or_error(
        [&](wchar_t* b, DWORD size) {
          return GetFinalPathNameByHandleW(h, b, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        },
        error);
    CloseHandle(h);
  }
  if (final) return paths::strip_extended_prefix(narrow(*final));
  // Some volumes (RAM disks, some network redirectors) cannot report a
  // final path at all; their absolute path stands in for it.
  const bool opened = h != INVALID_HANDLE_VALUE;
  using windows_errors::FinalPathStep;
  if (windows_errors::cannot_report_final_path(error,
                                               opened ? FinalPathStep::query : FinalPathStep::open))
    return absolute_path(path);
  return win32::error(
      opened ? "GetFinalPathNameByHandleW('" + path + "')" : "CreateFileW('" + path + "')", error,
      path);
}

std::string short_path(const std::string& path) {
  const std::wstring long_form = wide(path);
  DWORD error = ERROR_SUCCESS;
  const auto short_form = win32::grown_or_error(
      [&](wchar_t* b, DWORD size) { return GetShortPathNameW(long_form.c_str(), b, size); }, error);
  // No short names on this volume: the long one stands.
  return short_form ? narrow(*short_form) : path;
}

namespace {
DWORD attributes_of(const std::string& path) { return GetFileAttributesW(wide(path).c_str()); }
}  // namespace

bool is_file(const std::string& path) {
  const DWORD attributes = attributes_of(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool is_folder(const std::string& path) {
  const DWORD attributes = attributes_of(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tolvane::platform
