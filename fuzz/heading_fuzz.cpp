// The converter's output protocol: LastLine fed in pieces, against a
// plain whole-text reference, and heading_of.
//
// Input: byte 0 gives a small line limit; every further byte is one token
// of text (line ends of every kind, CR LF, characters that merely look
// like line ends, multibyte characters, ASCII runs). A byte with its top
// bit set starts a new piece before its token, so pieces always hold
// whole characters, and a CR and an LF can land in different pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "heading.hpp"

namespace {

using tolvane::LastLine;

void show(const char* label, const std::optional<std::string>& s) {
  if (s)
    std::fprintf(stderr, "  %s: [%s] (%zu bytes)\n", label, s->c_str(), s->size());
  else
    std::fprintf(stderr, "  %s: none\n", label);
}

[[noreturn]] void breach(const char* what, std::string_view text, std::size_t limit,
                         const std::optional<std::string>& got,
                         const std::optional<std::string>& expected) {
  std::fprintf(stderr, "heading_fuzz: invariant broken: %s\n  limit %zu, text (%zu bytes):", what,
               limit, text.size());
  for (unsigned char c : text) std::fprintf(stderr, " %02X", c);
  std::fprintf(stderr, "\n");
  show("got", got);
  show("expected", expected);
  __builtin_trap();
}

// The length of the line end at text[i], 0 when there is none: LF, VT,
// FF, CR, FS, GS, RS, CR LF, U+0085, U+2028 and U+2029.
std::size_t line_end_at(std::string_view text, std::size_t i) {
  const std::string_view rest = text.substr(i);
  if (rest.substr(0, 2) == "\r\n") return 2;
  switch (rest[0]) {
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case '\x1c':
    case '\x1d':
    case '\x1e': return 1;
    default: break;
  }
  if (rest.substr(0, 2) == "\xc2\x85") return 2;
  if (rest.substr(0, 3) == "\xe2\x80\xa8" || rest.substr(0, 3) == "\xe2\x80\xa9") return 3;
  return 0;
}

// The whole text split into lines; a final line end opens no empty line,
// and the empty text has none.
std::optional<std::string> reference_last_line(std::string_view text) {
  std::optional<std::string> last;
  std::string line;
  bool open = false;  // text has come since the last line end
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t end = line_end_at(text, i)) {
      last = line;
      line.clear();
      open = false;
      i += end;
    } else {
      line += text[i++];
      open = true;
    }
  }
  if (open) last = line;
  return last;
}

// whole: the reference's last line of text.
void check_fed(const std::vector<std::string_view>& pieces, std::string_view text,
               const std::optional<std::string>& whole, std::size_t limit, const char* how) {
  LastLine last_line(limit);
  for (std::string_view piece : pieces) last_line.feed(piece);
  std::optional<std::string> expected;
  if (whole) expected = whole->substr(0, limit);
  const std::optional<std::string> got = last_line.last();
  if (got != expected) breach(how, text, limit, got, expected);
  const bool too_long = whole && whole->size() > limit;
  if (last_line.last_too_long() != too_long)
    breach(too_long ? "last_too_long() misses a last line over the limit"
                    : "last_too_long() reports a last line within the limit",
           text, limit, got, expected);
}

void check_heading(std::string_view line) {
  const std::string heading = tolvane::heading_of(line);
  const bool tagged = line.substr(0, 7) == "header:";
  const std::string expected(tagged ? line.substr(7) : line);
  if (heading != expected)
    breach("heading_of removes \"header:\" once from the front only", line, 0, heading, expected);
}

constexpr std::string_view tokens[] = {
    "a",
    "b",
    "x",
    " ",
    "\t",
    "header:",
    "header",
    "Header:",
    "0123456789abcdef",
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
    // line ends
    "\n",
    "\r",
    "\r\n",
    "\n\r",
    "\v",
    "\f",
    "\x1c",
    "\x1d",
    "\x1e",
    "\xc2\x85",
    "\xe2\x80\xa8",
    "\xe2\x80\xa9",
    // characters
    "\xc3\xa9",
    "\xe6\xa2\x81",
    "\xf0\x9f\x98\x80",
    std::string_view("\0", 1),
    "\x01",
    "\x1b",
    "\x1f",
    "\x7f",
    // lookalikes: same last bytes as a line end, or a neighbouring code point
    "\xc2\xa9",
    "\xc5\x85",
    "\xc2\x84",
    "\xe2\x80\xa7",
    "\xe2\x80\xaa",
    "\xe3\x80\xa8",
    "\xe2\x82\xa8",
    "\xf0\x9f\x80\xa8",
    "\xe2\x82\xac",
    "\xc2\x8d",
    "\xc2\x8a",
};
constexpr std::size_t token_count = sizeof tokens / sizeof tokens[0];
static_assert(token_count <= 128, "one token per byte, the top bit marks a piece boundary");

// Splits text into single characters, the smallest pieces a caller may
// feed.
std::vector<std::string_view> characters_of(std::string_view text) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = 1;
    while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
    out.push_back(text.substr(i, n));
    out.emplace_back();  // an empty piece between any two changes nothing
    i += n;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t small_limit = 1 + data[0] % 24;
  std::string text;
  std::vector<std::size_t> starts = {0};
  for (std::size_t i = 1; i < size; ++i) {
    if ((data[i] & 0x80) && starts.back() != text.size()) starts.push_back(text.size());
    text += tokens[(data[i] & 0x7F) % token_count];
  }
  std::vector<std::string_view> pieces;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : text.size();
    pieces.push_back(std::string_view(text).substr(starts[k], end - starts[k]));
  }

  const std::optional<std::string> last = reference_last_line(text);
  const std::vector<std::string_view> characters = characters_of(text);
  for (std::size_t limit : {small_limit, tolvane::longest_kept_line}) {
    check_fed(pieces, text, last, limit, "last() fed in the input's pieces");
    check_fed({text}, text, last, limit, "last() fed whole");
    check_fed(characters, text, last, limit, "last() fed one character at a time");
  }

  if (last) check_heading(*last);
  check_heading(text);
  return 0;
}
