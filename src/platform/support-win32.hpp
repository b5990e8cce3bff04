// What the Windows files of the platform layer share: UTF-8 <-> UTF-16 at
// the layer's edge, what the system said of a failed call, growing buffers
// for the calls that report the size they need, and the timeouts of the
// waits.
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "../failure.hpp"
#include "interrupts.hpp"  // Clock

namespace tolvane::platform::win32 {

std::wstring wide(std::string_view text);
std::string narrow(std::wstring_view text);

// A failed call as every Windows file gives it: the API, the code, the
// system's own text (whose "%1" subject fills: the file concerned), and
// the reason that the code stands for.
SystemError error(std::string api, DWORD code, std::string subject = {});

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
SystemResult<std::wstring> grown(std::string api, Fill fill) {
  DWORD code = ERROR_SUCCESS;
  if (auto text = grown_or_error(fill, code)) return *std::move(text);
  return error(std::move(api), code);
}

// A wait's timeout in milliseconds, rounded up so that it never ends just
// short of its deadline; none is INFINITE.
DWORD milliseconds_until(std::optional<Clock::time_point> deadline);

}  // namespace tolvane::platform::win32
