#include "heading.hpp"

#include <array>

namespace tolvane {

namespace {

// Bytes that may begin a line end: LF, VT, FF, CR, FS, GS, RS, and the
// lead bytes of U+0085 (C2 85) and of U+2028/U+2029 (E2 80 A8/A9).
constexpr std::array<bool, 256> may_end_line = [] {
  std::array<bool, 256> t{};
  for (unsigned c : {0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x1Cu, 0x1Du, 0x1Eu, 0xC2u, 0xE2u}) t[c] = true;
  return t;
}();

// Length of the line end at s[i], or 0 when there is none.
std::size_t line_end_at(std::string_view s, std::size_t i) {
  const auto at = [&](std::size_t k) {
    return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u;
  };
  switch (at(i)) {
    case 0xC2:
      return at(i + 1) == 0x85 ? 2 : 0;
    case 0xE2:
      return at(i + 1) == 0x80 && (at(i + 2) == 0xA8 || at(i + 2) == 0xA9) ? 3 : 0;
    case 0x0D:
      return at(i + 1) == 0x0A ? 2 : 1;
    default:
      return 1;
  }
}

}  // namespace

void LastLine::feed(std::string_view text) {
  if (text.empty()) return;
  std::size_t start = 0;
  if (pending_cr_) {
    pending_cr_ = false;
    if (!text.empty() && text[0] == '\n') start = 1;
  }
  // Only the last line that ends in this piece matters; remember where it
  // lies instead of copying every line.
  bool ended = false;
  bool first_uses_partial = true;
  std::size_t line_begin = start, line_stop = start, segment = start;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (!may_end_line[static_cast<unsigned char>(text[i])]) continue;
    const std::size_t len = line_end_at(text, i);
    if (len == 0) continue;
    if (ended) first_uses_partial = false;
    ended = true;
    line_begin = segment;
    line_stop = i;
    if (text[i] == '\r' && len == 1 && i + 1 == text.size()) pending_cr_ = true;
    i += len - 1;
    segment = i + 1;
  }
  if (!ended) {
    partial_.append(text.substr(start));
    return;
  }
  if (first_uses_partial) {
    partial_.append(text.substr(line_begin, line_stop - line_begin));
    complete_.swap(partial_);
  } else {
    complete_.assign(text.substr(line_begin, line_stop - line_begin));
  }
  have_complete_ = true;
  partial_.assign(text.substr(segment));
}

std::optional<std::string> LastLine::last() const {
  if (!partial_.empty()) return partial_;
  if (have_complete_) return complete_;
  return std::nullopt;
}

std::string heading_of(std::string_view last_line) {
  constexpr std::string_view tag = "header:";
  if (last_line.substr(0, tag.size()) == tag) last_line.remove_prefix(tag.size());
  return std::string(last_line);
}

}  // namespace tolvane
