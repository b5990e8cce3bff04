// The standard streams and the environment on Windows.

#include <windows.h>

#include "../utf.hpp"
#include "console.hpp"
#include "support-win32.hpp"

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
                                    const char* api, Write write) noexcept {
  while (!data.empty()) {
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(std::min(data.size(), piece));
    if (!write(h, data.data(), n, &written)) return WriteError{api, GetLastError()};
    if (written == 0) return WriteError{api, ERROR_WRITE_FAULT};
    data.remove_prefix(written);
  }
  return std::nullopt;
}

// A piece at a time through fixed buffers, so that a crash report can
// write too: line breaks become CR LF, and a console gets UTF-16.
std::optional<WriteError> write_stream(Stream stream, std::string_view text) noexcept {
  const HANDLE h = GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  const bool console = is_console(h);
  constexpr std::size_t piece = 1024;
  char bytes[2 * piece];
  char16_t units[2 * piece];
  while (!text.empty()) {
    const std::size_t take = utf::whole_sequences_prefix(text, piece);
    std::size_t n = 0;
    for (char c : text.substr(0, take)) {
      if (c == '\n') bytes[n++] = '\r';
      bytes[n++] = c;
    }
    text.remove_prefix(take);
    std::optional<WriteError> error;
    if (console) {
      const std::size_t length = utf::to_utf16(std::string_view(bytes, n), units);
      error =
          write_all(h, std::wstring_view(reinterpret_cast<const wchar_t*>(units), length), piece,
                    "WriteConsoleW", [](HANDLE h, const wchar_t* p, DWORD n, DWORD* written) {
                      return WriteConsoleW(h, p, n, written, nullptr);
                    });
    } else {
      error = write_all(h, std::string_view(bytes, n), sizeof bytes, "WriteFile",
                        [](HANDLE h, const char* p, DWORD n, DWORD* written) {
                          return WriteFile(h, p, n, written, nullptr);
                        });
    }
    if (error) return error;
  }
  return std::nullopt;
}

}  // namespace

std::optional<SystemError> write_text(Stream stream, std::string_view text) {
  if (const auto refused = write_stream(stream, text))
    return win32::error(refused->api, refused->code);
  return std::nullopt;
}

void write_text_if_possible(Stream stream, std::string_view text) noexcept {
  write_stream(stream, text);
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

std::optional<SystemError> set_environment(const char* name,
                                           const std::optional<std::string>& value) {
  if (SetEnvironmentVariableW(wide(name).c_str(), value ? wide(*value).c_str() : nullptr))
    return std::nullopt;
  const DWORD code = GetLastError();
  // Removing what is not there leaves it as it should be.
  if (!value && code == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  return win32::error("SetEnvironmentVariableW", code);
}

}  // namespace tolvane::platform
