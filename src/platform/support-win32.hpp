// What the Windows files of the platform layer share: UTF-8 <-> UTF-16 at
// the layer's edge, the one way a failed call becomes a Failure, growing
// buffers for the calls that report the size they need, and the hooks by
// which one concern starts or wakes another.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "../failure.hpp"
#include "interrupts.hpp"

namespace tolvane::platform::win32 {

std::wstring wide(std::string_view text);
std::string narrow(std::wstring_view text);

// A failed Windows call, as every Windows file reports it: where, the API,
// the system's own text (its "%1" filled with subject, the file
// concerned), the code, and the kind that the code stands for.
Failure failure(const std::string& where, const std::string& api, DWORD code,
                std::string_view subject = {});
// The same with another kind, for the calls whose failure has a kind of
// its own (a module that cannot be imported).
Failure failure_of_kind(const std::string& where, const std::string& kind, const std::string& api,
                        DWORD code, std::string_view subject = {});

// Calls fill(buffer, size) -> length until the text fits; fill returns the
// needed size (or more than size) when the buffer is too small, 0 on
// failure, which leaves its code in error. An answer that does not fit
// even the longest path Windows has is ERROR_MORE_DATA.
template <class Fill>
std::optional<std::wstring> grown_or_error(Fill fill, DWORD& error) {
  constexpr std::size_t longest = 32768;
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      error = GetLastError();
      return std::nullopt;
    }
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    if (buffer.size() > longest) {
      error = ERROR_MORE_DATA;
      return std::nullopt;
    }
    buffer.resize(std::max<std::size_t>(n + 1, buffer.size() * 2));
  }
}

template <class Fill>
std::wstring grown(const std::string& where, const std::string& api, Fill fill) {
  DWORD error = ERROR_SUCCESS;
  if (auto text = grown_or_error(fill, error)) return *std::move(text);
  throw failure(where, api, error);
}

// A wait's timeout in milliseconds, rounded up so that it never ends just
// short of its deadline; none is INFINITE.
DWORD milliseconds_until(std::optional<Clock::time_point> deadline);

// interrupts-win32.cpp: starts recording Ctrl-C (at start-up); the flag
// and the event that the waits of a child watch.
void start_recording_interrupts();
bool interrupt_recorded();
HANDLE interrupt_event();

// modules-win32.cpp: keeps the current directory out of the DLL search
// (at start-up, before anything is loaded).
void restrict_dll_search();

}  // namespace tolvane::platform::win32
