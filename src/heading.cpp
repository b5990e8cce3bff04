#include "heading.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace tolvane {

namespace {

// Single-byte line ends: LF, VT, FF, CR, FS, GS, RS.
constexpr std::array<bool, 256> single_byte_end = [] {
  std::array<bool, 256> t{};
  for (unsigned c : {0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x1Cu, 0x1Du, 0x1Eu}) t[c] = true;
  return t;
}();

// true when none of the 8 bytes at p is a control character or non-ASCII:
// such a run holds no line end, so a long line is skipped 8 bytes at a
// time.
bool plain_ascii8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  const std::uint64_t below_space = (w - 0x20 * ones) & ~w & highs;
  return ((w & highs) | below_space) == 0;
}

struct LineEnd {
  std::size_t at;
  std::size_t length;
};

// The last line end within text[from, to), scanning backwards: only the
// last line matters, so a piece is read from its end and no further back
// than its last two line ends. UTF-8 can be read backwards safely, and a
// piece never splits a character, so U+0085 (C2 85) and U+2028/U+2029
// (E2 80 A8/A9) are whole here.
std::optional<LineEnd> last_end(std::string_view text, std::size_t from, std::size_t to) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  for (std::size_t i = to; i-- > from;) {
    while (i + 1 >= from + 8 && plain_ascii8(text.data() + i + 1 - 8)) {
      if (i + 1 - 8 == from) return std::nullopt;
      i -= 8;
    }
    const unsigned char c = at(i);
    if (single_byte_end[c]) {
      if (c == '\n' && i > from && at(i - 1) == '\r') return LineEnd{i - 1, 2};
      return LineEnd{i, 1};
    }
    if (c == 0x85 && i > from && at(i - 1) == 0xC2) return LineEnd{i - 1, 2};
    if ((c == 0xA8 || c == 0xA9) && i >= from + 2 && at(i - 1) == 0x80 && at(i - 2) == 0xE2)
      return LineEnd{i - 2, 3};
  }
  return std::nullopt;
}

}  // namespace

void LastLine::keep(Kept& line, std::string_view more) const {
  const std::size_t room = limit_ - std::min(limit_, line.text.size());
  if (more.size() > room) line.too_long = true;
  line.text.append(more.substr(0, room));
}

void LastLine::feed(std::string_view text) {
  if (text.empty()) return;
  std::size_t start = 0;
  if (pending_cr_) {
    pending_cr_ = false;
    if (text[0] == '\n') start = 1;
  }
  const auto end = last_end(text, start, text.size());
  if (!end) {
    keep(partial_, text.substr(start));
    return;
  }
  // A CR that ends the piece may be the first half of a CR LF.
  pending_cr_ = end->length == 1 && text[end->at] == '\r' && end->at + 1 == text.size();
  if (const auto before = last_end(text, start, end->at)) {
    const std::size_t begin = before->at + before->length;
    complete_.text.clear();
    complete_.too_long = false;
    keep(complete_, text.substr(begin, end->at - begin));
  } else {
    keep(partial_, text.substr(start, end->at - start));
    std::swap(complete_, partial_);
  }
  have_complete_ = true;
  partial_.text.clear();
  partial_.too_long = false;
  keep(partial_, text.substr(end->at + end->length));
}

std::optional<std::string> LastLine::last() const {
  if (!partial_.text.empty()) return partial_.text;
  if (have_complete_) return complete_.text;
  return std::nullopt;
}

bool LastLine::last_too_long() const {
  return partial_.text.empty() ? complete_.too_long : partial_.too_long;
}

std::size_t line_end_at(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) {
    return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0u;
  };
  if (at >= text.size()) return 0;
  if (single_byte_end[byte(0)]) return 1;
  if (byte(0) == 0xC2 && byte(1) == 0x85) return 2;
  if (byte(0) == 0xE2 && byte(1) == 0x80 && (byte(2) == 0xA8 || byte(2) == 0xA9)) return 3;
  return 0;
}

std::size_t blank_line_ends(char* text, std::size_t length) {
  const std::string_view in(text, length);
  std::size_t out = 0;
  for (std::size_t i = 0; i < length;) {
    if (const std::size_t end = line_end_at(in, i)) {
      text[out++] = ' ';
      i += end;
    } else {
      text[out++] = text[i++];
    }
  }
  return out;
}

std::string heading_of(std::string_view last_line) {
  constexpr std::string_view tag = "header:";
  if (last_line.substr(0, tag.size()) == tag) last_line.remove_prefix(tag.size());
  return std::string(last_line);
}

}  // namespace tolvane
