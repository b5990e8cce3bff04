// Unicode text helpers shared by both platforms: lossless UTF-8 <-> UTF-16
// conversion (unpaired surrogates survive as their generalised UTF-8 form,
// so no Windows file name or argument is ever mangled), code point
// counting, and strict streaming validation of UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane::utf {

// Each byte that starts no well-formed sequence (encoded surrogates count
// as well-formed; overlong forms and code points past U+10FFFF do not)
// becomes U+FFFD.
std::u16string to_utf16(std::string_view utf8);
std::string from_utf16(std::u16string_view utf16);

// The same into out, which has room for utf8.size() units (no byte gives
// more than one); returns the number of units written. Allocates nothing.
std::size_t to_utf16(std::string_view utf8, char16_t* out);

// The same into out, which has room for 3 * utf16.size() bytes; returns
// the number of bytes written. Allocates nothing.
std::size_t from_utf16(std::u16string_view utf16, char* out);

// The longest prefix of at most limit bytes that does not end inside a
// sequence, so that text can be converted a fixed-size piece at a time.
std::size_t whole_sequences_prefix(std::string_view utf8, std::size_t limit);

// Appends one code point as UTF-8.
void append_code_point(std::string& out, char32_t cp);
// Writes one code point as UTF-8 into out (room for 4); returns its length.
std::size_t encode_code_point(char32_t cp, char* out);

// Length of the leading run of ASCII bytes.
std::size_t ascii_prefix(std::string_view bytes);

// Number of code points in well-formed UTF-8.
std::size_t code_points(std::string_view utf8);

// Strict UTF-8 over a stream of arbitrary pieces: a character split between
// two pieces is carried to the next one; overlong forms, surrogates and
// code points past U+10FFFF are errors.
class Utf8Validator {
 public:
  // Appends the complete characters of the carried bytes and piece to out
  // and keeps an unfinished last one; false at the first invalid sequence.
  bool feed(std::string_view piece, std::string& out);
  // false when the stream ended inside a character.
  bool finish() const { return carry_.empty(); }

 private:
  std::string carry_;
};

// For double-byte code pages: the length of the longest prefix of bytes
// that holds only complete characters, found by a forward scan (a trail
// byte can look like a lead byte, so one can never scan backwards).
template <class IsLead>
std::size_t complete_dbcs_prefix(std::string_view bytes, IsLead is_lead) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t step = is_lead(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
    if (i + step > bytes.size()) break;
    i += step;
  }
  return i;
}

}  // namespace tolvane::utf
