#include "console.hpp"

#include <cstdio>

#include "tolvane/component.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace samples {

#if defined(_WIN32)

std::string utf8_from_wide(std::wstring_view wide) {
  std::string out;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] < 0xE000;
    if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    // Lead byte, then six bits at a time; a lone surrogate takes three bytes.
    const int more = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    constexpr unsigned char lead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead[more] | (c >> (6 * more)));
    for (int k = more - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
  }
  return out;
}

namespace {

std::string ansi_from_wide(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  // Characters the code page lacks become its default character, so the
  // reader's strict decoding never fails on what we write.
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

void print_line(Stream stream, std::string_view text, Encoding encoding) {
  const HANDLE handle = GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  std::wstring wide(text.size() + 1, L'\0');
  wide.resize(tolvane_utf16_from_utf8(text.data(), text.size(), wide.data()));
  wide += L"\n";
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  const std::string bytes =
      encoding == Encoding::ansi ? ansi_from_wide(wide) : std::string(text) + "\n";
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0)
      return;
    done += written;
  }
}

#else

void print_line(Stream stream, std::string_view text, Encoding) {
  std::FILE* file = stream == Stream::out ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fputc('\n', file);
  std::fflush(file);
}

#endif

}  // namespace samples
