// The launcher's own process on Windows: start-up and end.

#include <windows.h>

// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "../utf.hpp"
#include "process.hpp"
#include "support-win32.hpp"

namespace tolvane::platform {

namespace {

void bind_to_null_if_missing(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  if (h != nullptr && h != INVALID_HANDLE_VALUE) return;
  const HANDLE null_device =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (null_device != INVALID_HANDLE_VALUE) SetStdHandle(which, null_device);
}

}  // namespace

void prepare_process() {
  bind_to_null_if_missing(STD_INPUT_HANDLE);
  bind_to_null_if_missing(STD_OUTPUT_HANDLE);
  bind_to_null_if_missing(STD_ERROR_HANDLE);
}

SystemResult<std::string> executable_path() {
  // A buffer that is too small gets the truncated name and its full size.
  auto path = win32::grown("GetModuleFileNameW", [](wchar_t* b, DWORD size) {
    return GetModuleFileNameW(nullptr, b, size);
  });
  if (!path) return path.error();
  return win32::narrow(*path);
}

std::size_t executable_file_name(char* out, std::size_t capacity) noexcept {
  static wchar_t path[32768];
  static char name[3 * 32768];
  const DWORD n = GetModuleFileNameW(nullptr, path, 32768);
  if (n == 0 || n >= 32768 || capacity == 0) return 0;
  DWORD start = n;
  while (start > 0 && path[start - 1] != L'\\' && path[start - 1] != L'/') --start;
  const std::size_t length = std::min(
      utf::from_utf16(
          std::u16string_view(reinterpret_cast<const char16_t*>(path + start), n - start), name),
      capacity - 1);
  std::memcpy(out, name, length);
  out[length] = '\0';
  return length;
}

namespace {

// In-process components may have written through the C and C++ streams;
// the launcher itself writes straight to the handles. A module built with
// MinGW shares msvcrt.dll, and so its stream locks, with the launcher.
DWORD WINAPI flush_streams(void*) {
  std::cout.flush();
  std::cerr.flush();
  (void)std::fflush(nullptr);
  return 0;
}

}  // namespace

void end_process(int status) {
  if (const HANDLE flusher = CreateThread(nullptr, 0, flush_streams, nullptr, 0, nullptr)) {
    WaitForSingleObject(flusher, 200);
    CloseHandle(flusher);
  }
  end_process_at_once(status);
}

void end_process_at_once(int status) noexcept {
  // TerminateProcess, not ExitProcess: DLL detach code must not run while
  // a detached worker may still hold locks. ExitProcess only ends a
  // process that TerminateProcess somehow left running.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  ExitProcess(static_cast<UINT>(status));
}

std::uint64_t current_thread_id() noexcept { return GetCurrentThreadId(); }

std::size_t thread_ids(std::uint64_t* out, std::size_t capacity) noexcept {
  // The snapshot holds every thread of the system; this process's are kept.
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  const DWORD self = GetCurrentProcessId();
  std::size_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more && count < capacity;
       more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == self) out[count++] = entry.th32ThreadID;
  CloseHandle(snapshot);
  return count;
}

}  // namespace tolvane::platform
