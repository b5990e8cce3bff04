// The standard streams and the environment on Windows.

#include <windows.h>

#include "console.hpp"
#include "system_calls-win32.hpp"

namespace tolvane::platform {

using win32::narrow;
using win32::wide;

namespace {

bool is_console(HANDLE h) {
  DWORD mode = 0;
  return GetConsoleMode(h, &mode) != 0;
}

struct WriteError {
  const char* api;
  DWORD code;
};

// Writes all of data through write(handle, data, n, &written); the first
// refusal is returned.
template <class Char, class Write>
std::optional<WriteError> write_all(HANDLE h, std::basic_string_view<Char> data, std::size_t piece,
                                    const char* api, Write write) {
  while (!data.empty()) {
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(std::min(data.size(), piece));
    if (!write(h, data.data(), n, &written)) return WriteError{api, GetLastError()};
    if (written == 0) return WriteError{api, ERROR_WRITE_FAULT};
    data.remove_prefix(written);
  }
  return std::nullopt;
}

std::optional<WriteError> write_stream(Stream stream, std::string_view text) {
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const HANDLE h = GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (is_console(h)) {
    const std::wstring w = wide(crlf);
    return write_all(h, std::wstring_view(w), 8192, "WriteConsoleW",
                     [](HANDLE h, const wchar_t* p, DWORD n, DWORD* written) {
                       return WriteConsoleW(h, p, n, written, nullptr);
                     });
  }
  return write_all(h, std::string_view(crlf), 1 << 20, "WriteFile",
                   [](HANDLE h, const char* p, DWORD n, DWORD* written) {
                     return WriteFile(h, p, n, written, nullptr);
                   });
}

}  // namespace

void write_text(Stream stream, std::string_view text) {
  if (const auto error = write_stream(stream, text))
    throw win32::failure(stream == Stream::out ? "stdout" : "stderr", error->api, error->code);
}

void write_text_if_possible(Stream stream, std::string_view text) noexcept {
  try {
    write_stream(stream, text);
  } catch (...) {
    // No memory for the line-break conversion: nothing can be said.
  }
}

std::optional<int> console_width() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return std::nullopt;
  const int width = info.srWindow.Right - info.srWindow.Left + 1;
  return width > 0 ? std::optional<int>(width) : std::nullopt;
}

std::optional<std::string> environment(const char* name) {
  const std::wstring key = wide(name);
  DWORD error = ERROR_SUCCESS;
  const auto value = win32::grown_or_error(
      [&](wchar_t* b, DWORD size) { return GetEnvironmentVariableW(key.c_str(), b, size); }, error);
  if (value) return narrow(*value);
  // 0 without an error is a variable set to the empty text.
  if (error == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  return std::string();
}

}  // namespace tolvane::platform
