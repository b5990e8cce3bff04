// Converter stand-in that floods its standard output: N bytes of 80-byte
// text lines in large writes, then its header line. N is the first
// argument when that is a number (the launcher passes the deck path
// there), else $TOLVANE_FLOOD_BYTES, else 1 GiB. With
// $TOLVANE_FLOOD_ONE_LINE set to 1 the N bytes are a single line with no
// line end in it, and a line end comes before the header.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

namespace {

bool write_all(const char* data, std::size_t size) {
  while (size > 0) {
#if defined(_WIN32)
    DWORD written = 0;
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data, piece, &written, nullptr)) return false;
#else
    const ssize_t written = ::write(1, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
#endif
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool is_number(const char* text) {
  if (*text == '\0') return false;
  for (; *text; ++text)
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  return true;
}

std::uint64_t requested_bytes(int argc, char** argv) {
  if (argc > 1 && is_number(argv[1])) return std::strtoull(argv[1], nullptr, 10);
  if (const char* env = std::getenv("TOLVANE_FLOOD_BYTES"); env && is_number(env))
    return std::strtoull(env, nullptr, 10);
  return std::uint64_t{1} << 30;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr std::size_t line = 80;
  constexpr std::size_t lines_per_block = 13107;  // just under 1 MiB
  const char* one_line_env = std::getenv("TOLVANE_FLOOD_ONE_LINE");
  const bool one_line = one_line_env && std::strcmp(one_line_env, "1") == 0;
  std::string block;
  block.reserve(line * lines_per_block);
  for (std::size_t i = 0; i < lines_per_block; ++i) {
    std::string text = "node " + std::to_string(i) + ", 1.250000e+01, -3.750000e+00, 0.000000e+00";
    text.resize(line - 1, ' ');
    block += text;
    block += one_line ? ' ' : '\n';
  }

  std::uint64_t left = requested_bytes(argc, argv);
  while (left >= block.size()) {
    if (!write_all(block.data(), block.size())) return 1;
    left -= block.size();
  }
  // The tail: whole lines, then one shorter line, still ending in a line feed.
  if (left > 0) {
    std::string tail = block.substr(0, static_cast<std::size_t>(left));
    tail.back() = '\n';
    if (!write_all(tail.data(), tail.size())) return 1;
  } else if (one_line) {
    if (!write_all("\n", 1)) return 1;
  }
  static const char header[] = "header:flood done\n";
  return write_all(header, sizeof header - 1) ? 0 : 1;
}
