// The launcher's own process on Windows: start-up and end.

#include <windows.h>

#include <cstdio>
#include <iostream>

#include "process.hpp"
#include "system_calls-win32.hpp"

namespace tolvane::platform {

namespace {

void bind_to_null_if_missing(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  if (h != nullptr && h != INVALID_HANDLE_VALUE) return;
  const HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
  if (null_device != INVALID_HANDLE_VALUE) SetStdHandle(which, null_device);
}

}  // namespace

void prepare_process() {
  win32::restrict_dll_search();
  bind_to_null_if_missing(STD_INPUT_HANDLE);
  bind_to_null_if_missing(STD_OUTPUT_HANDLE);
  bind_to_null_if_missing(STD_ERROR_HANDLE);
  win32::start_recording_interrupts();
}

std::string executable_path() {
  // A buffer that is too small gets the truncated name and its full size.
  return win32::narrow(win32::grown("start-up", "GetModuleFileNameW", [](wchar_t* b, DWORD size) {
    return GetModuleFileNameW(nullptr, b, size);
  }));
}

void end_process(int status) {
  // In-process components may have written through the C and C++
  // streams; the launcher itself writes straight to the handles.
  std::cout.flush();
  std::cerr.flush();
  (void)std::fflush(nullptr);
  // TerminateProcess, not ExitProcess: DLL detach code must not run while
  // a detached worker may still hold locks. ExitProcess only ends a
  // process that TerminateProcess somehow left running.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace tolvane::platform
