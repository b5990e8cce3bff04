// The UTF-8 / UTF-16 helpers: lossless round trips, strict streaming
// validation against a plain reference validator, the ASCII-preserving
// widening, and the counting helpers.
//
// Input: byte 0 is the number of split points (0..7) taken from the bytes
// after it; the rest is the text, read both as UTF-8 and as UTF-16 (pairs
// of bytes, little-endian).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "utf.hpp"

namespace {

namespace utf = tolvane::utf;

[[noreturn]] void breach(const char* what, std::string_view bytes) {
  std::fprintf(stderr, "utf_fuzz: invariant broken: %s\n  bytes (%zu):", what, bytes.size());
  for (unsigned char c : bytes) std::fprintf(stderr, " %02X", c);
  std::fprintf(stderr, "\n");
  __builtin_trap();
}

void check(bool ok, const char* what, std::string_view bytes) {
  if (!ok) breach(what, bytes);
}

// Strict UTF-8 as the Unicode standard's table of well-formed byte
// sequences gives it: shortest form only, no surrogates, nothing past
// U+10FFFF. Decodes to code points, and returns where the first
// ill-formed sequence begins (s.size() when there is none).
std::size_t reference_decode(std::string_view s, std::vector<char32_t>& out) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    std::size_t len;
    char32_t cp;
    if (c <= 0x7F) {
      len = 1;
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return i;
    }
    if (i + len > s.size()) return i;
    for (std::size_t k = 1; k < len; ++k) {
      if ((b(k) & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (b(k) & 0x3F);
    }
    constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < shortest[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    out.push_back(cp);
    i += len;
  }
  return i;
}

std::u16string reference_utf16(const std::vector<char32_t>& cps) {
  std::u16string out;
  for (char32_t cp : cps) {
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

bool well_formed_utf16(std::u16string_view w) {
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (w[i] >= 0xDC00 && w[i] < 0xE000) return false;
    if (w[i] >= 0xD800 && w[i] < 0xDC00) {
      if (i + 1 == w.size() || w[i + 1] < 0xDC00 || w[i + 1] >= 0xE000) return false;
      ++i;
    }
  }
  return true;
}

// Feeds the pieces until the first refusal. Returns whether the whole
// stream was accepted; out gets what the validator passed on.
bool validate(const std::vector<std::string_view>& pieces, std::string& out) {
  utf::Utf8Validator v;
  for (std::string_view piece : pieces)
    if (!v.feed(piece, out)) return false;
  return v.finish();
}

void check_validator(std::string_view s, const std::vector<std::size_t>& cuts, const char* what) {
  std::vector<char32_t> cps;
  const std::size_t good = reference_decode(s, cps);
  const bool valid = good == s.size();
  std::vector<std::string_view> pieces;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    pieces.push_back(s.substr(from, cut - from));
    from = cut;
  }
  pieces.push_back(s.substr(from));
  std::string out;
  const bool accepted = validate(pieces, out);
  if (accepted != valid) {
    std::fprintf(stderr, "utf_fuzz: %s: %s, validator %s; pieces:", what,
                 valid ? "valid" : "invalid", accepted ? "accepted" : "refused");
    for (std::string_view p : pieces) std::fprintf(stderr, " %zu", p.size());
    std::fprintf(stderr, "\n");
    breach("the validator accepts exactly strict UTF-8", s);
  }
  // Passed on are the whole characters before the first ill-formed
  // sequence, however the stream was cut: all of it when it is valid.
  check(out == s.substr(0, good),
        valid ? "accepted text is passed on unchanged"
              : "a refused stream passes on exactly its valid prefix",
        s);
}

void check_conversions(std::string_view s) {
  std::vector<char32_t> cps;
  const bool valid = reference_decode(s, cps) == s.size();
  const std::u16string wide = utf::to_utf16(s);

  // No ASCII code unit can come from anything but that same ASCII byte:
  // an overlong "/" or NUL must not turn into one.
  std::array<std::size_t, 128> bytes{}, units{};
  for (unsigned char c : s)
    if (c < 0x80) ++bytes[c];
  for (char16_t u : wide)
    if (u < 0x80) ++units[u];
  check(bytes == units, "to_utf16 makes ASCII only from the same ASCII bytes", s);
  check(wide.size() <= s.size(), "to_utf16 gives at most one unit per byte", s);

  // Whatever the bytes, their UTF-16 survives a trip through UTF-8.
  check(utf::to_utf16(utf::from_utf16(wide)) == wide,
        "to_utf16(from_utf16(w)) == w for converted text", s);

  if (valid) {
    check(wide == reference_utf16(cps), "to_utf16 of strict UTF-8 decodes it", s);
    check(utf::from_utf16(wide) == s, "strict UTF-8 survives a trip through UTF-16", s);
    check(utf::code_points(s) == cps.size(), "code_points counts the characters", s);
  }

  std::size_t ascii = 0;
  while (ascii < s.size() && static_cast<unsigned char>(s[ascii]) < 0x80) ++ascii;
  check(utf::ascii_prefix(s) == ascii, "ascii_prefix is the length of the leading ASCII run", s);
}

void check_utf16(std::string_view bytes) {
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
  const std::string narrow = utf::from_utf16(wide);
  check(utf::to_utf16(narrow) == wide,
        "from_utf16 is lossless for any UTF-16, lone surrogates included", bytes);
  if (well_formed_utf16(wide)) {
    std::vector<char32_t> cps;
    check(reference_decode(narrow, cps) == narrow.size(), "well-formed UTF-16 gives strict UTF-8",
          bytes);
    check(reference_utf16(cps) == wide, "strict UTF-8 from UTF-16 decodes back to it", bytes);
  }
}

void check_code_point_encoding(std::string_view bytes) {
  // Every scalar value, written and read back.
  for (std::size_t i = 0; i + 2 < bytes.size() && i < 24; i += 3) {
    const char32_t cp =
        (static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
         (static_cast<unsigned char>(bytes[i + 2]) << 16)) %
        0x110000;
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string out;
    utf::append_code_point(out, cp);
    std::vector<char32_t> cps;
    check(reference_decode(out, cps) == out.size() && cps.size() == 1 && cps[0] == cp,
          "append_code_point writes the shortest form", out);
  }
}

// The double-byte scan stops only before a lead byte that has no trail.
void check_dbcs(std::string_view bytes, unsigned char lead_from) {
  const auto is_lead = [lead_from](unsigned char b) { return b >= lead_from; };
  const std::size_t n = utf::complete_dbcs_prefix(bytes, is_lead);
  check(
      n == bytes.size() || (n + 1 == bytes.size() && is_lead(static_cast<unsigned char>(bytes[n]))),
      "complete_dbcs_prefix leaves at most a lone final lead byte", bytes);
  check(utf::complete_dbcs_prefix(bytes.substr(0, n), is_lead) == n,
        "a complete prefix is complete", bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t cut_count = std::min<std::size_t>(data[0] & 7, size - 1);
  const std::string_view s(reinterpret_cast<const char*>(data + 1 + cut_count),
                           size - 1 - cut_count);
  std::vector<std::size_t> cuts;
  for (std::size_t k = 0; k < cut_count; ++k) cuts.push_back(data[1 + k] % (s.size() + 1));
  std::sort(cuts.begin(), cuts.end());

  check_validator(s, {}, "fed whole");
  check_validator(s, cuts, "fed in the input's pieces");
  std::vector<std::size_t> every;
  for (std::size_t i = 1; i < s.size(); ++i) every.push_back(i);
  check_validator(s, every, "fed byte by byte");

  check_conversions(s);
  check_utf16(s);
  check_code_point_encoding(s);
  check_dbcs(s, static_cast<unsigned char>(data[0] | 0x80));
  return 0;
}
