#include "utf.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tolvane::utf {

std::size_t encode_code_point(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

void append_code_point(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, encode_code_point(cp, bytes));
}

namespace {

// Decodes one sequence leniently enough to take generalised UTF-8 (encoded
// surrogates) back; returns its length, or 0 for a byte that starts none.
// Overlong forms and code points past U+10FFFF start none: an overlong "/"
// must never turn into a separator behind a check of the UTF-8 text.
std::size_t decode_one(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (std::size_t k = 1; k < len; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(k) & 0x3F);
  }
  constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < shortest[len] || cp > 0x10FFFF) return 0;
  return len;
}

}  // namespace

std::size_t to_utf16(std::string_view utf8, char16_t* out) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    std::size_t len = decode_one(utf8, i, cp);
    if (len == 0) {
      cp = 0xFFFD;
      len = 1;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(cp);
    }
  }
  return n;
}

std::u16string to_utf16(std::string_view utf8) {
  std::u16string out(utf8.size(), u'\0');
  out.resize(to_utf16(utf8, out.data()));
  return out;
}

std::size_t whole_sequences_prefix(std::string_view utf8, std::size_t limit) {
  if (utf8.size() <= limit) return utf8.size();
  std::size_t cut = limit;
  // Back to the first byte of the sequence that the cut would split.
  for (int k = 0; k < 3 && cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80; ++k)
    --cut;
  return cut > 0 ? cut : limit;
}

std::size_t from_utf16(std::u16string_view utf16, char* out) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    n += encode_code_point(cp, out + n);
  }
  return n;
}

std::string from_utf16(std::u16string_view utf16) {
  std::string out(3 * utf16.size(), '\0');
  out.resize(from_utf16(utf16, out.data()));
  return out;
}

std::size_t ascii_prefix(std::string_view bytes) {
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  return i;
}

std::size_t code_points(std::string_view utf8) {
  std::size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

namespace {

// Length of a valid sequence at s[i..], 0 when invalid, or SIZE_MAX when
// the piece ends before the sequence could be judged complete.
constexpr std::size_t incomplete = static_cast<std::size_t>(-1);

std::size_t valid_sequence(const unsigned char* s, std::size_t n) {
  const unsigned char c = s[0];
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < len; ++k) {
    if (k >= n) return incomplete;
    const unsigned char t = s[k];
    if (k == 1 ? (t < lo || t > hi) : (t & 0xC0) != 0x80) return 0;
  }
  return len;
}

}  // namespace

bool Utf8Validator::feed(std::string_view piece, std::string& out) {
  std::string_view data = piece;
  std::string joined;
  if (!carry_.empty()) {
    // Complete the carried character from the head of this piece.
    joined = carry_;
    joined.append(piece.substr(0, 4));
    carry_.clear();
    auto* p = reinterpret_cast<const unsigned char*>(joined.data());
    const std::size_t len = valid_sequence(p, joined.size());
    if (len == 0) return false;
    if (len == incomplete) {
      carry_ = joined;
      return true;
    }
    const std::size_t used = len - (joined.size() - std::min<std::size_t>(piece.size(), 4));
    out.append(joined, 0, len);
    data = piece.substr(used);
  }
  auto* s = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  std::size_t i = 0;
  while (i < n) {
    // ASCII runs are the common case.
    i += ascii_prefix(data.substr(i));
    if (i >= n) break;
    const std::size_t len = valid_sequence(s + i, n - i);
    if (len == 0) {
      out.append(data.substr(0, i));
      return false;
    }
    if (len == incomplete) {
      carry_.assign(data.substr(i));
      break;
    }
    i += len;
  }
  out.append(data.substr(0, i < n ? i : n));
  return true;
}

}  // namespace tolvane::utf
