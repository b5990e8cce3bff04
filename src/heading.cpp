#include "heading.hpp"

#include <array>

namespace tolvane {

namespace {

// Single-byte line ends: LF, VT, FF, CR, FS, GS, RS.
constexpr std::array<bool, 256> single_byte_end = [] {
  std::array<bool, 256> t{};
  for (unsigned c : {0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x1Cu, 0x1Du, 0x1Eu}) t[c] = true;
  return t;
}();

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

void LastLine::feed(std::string_view text) {
  if (text.empty()) return;
  std::size_t start = 0;
  if (pending_cr_) {
    pending_cr_ = false;
    if (text[0] == '\n') start = 1;
  }
  const auto end = last_end(text, start, text.size());
  if (!end) {
    partial_.append(text.substr(start));
    return;
  }
  // A CR that ends the piece may be the first half of a CR LF.
  pending_cr_ = end->length == 1 && text[end->at] == '\r' && end->at + 1 == text.size();
  if (const auto before = last_end(text, start, end->at)) {
    const std::size_t begin = before->at + before->length;
    complete_.assign(text.substr(begin, end->at - begin));
  } else {
    partial_.append(text.substr(start, end->at - start));
    complete_.swap(partial_);
  }
  have_complete_ = true;
  partial_.assign(text.substr(end->at + end->length));
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
