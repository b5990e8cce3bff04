// UTF-8/UTF-16 conversion, strict streaming UTF-8, the double-byte
// boundary scan, and the Windows command-line quoting.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "command_line.hpp"
#include "utf.hpp"

namespace tolvane {
namespace {

TEST(Utf16, RoundTripsTextWithAllPlanes) {
  const std::string text = "a\xc3\xa9\xe6\xa2\x81\xf0\x9f\x98\x80z";  // a é 梁 😀 z
  const std::u16string wide = utf::to_utf16(text);
  EXPECT_EQ(wide, u"a\u00e9\u6881\U0001F600z");
  EXPECT_EQ(utf::from_utf16(wide), text);
}

TEST(Utf16, UnpairedSurrogatesSurviveTheRoundTrip) {
  const std::u16string lone = {u'x', char16_t(0xD800), u'y', char16_t(0xDC01)};
  EXPECT_EQ(utf::to_utf16(utf::from_utf16(lone)), lone);
}

TEST(Utf16, RejectsOverlongAndOutOfRangeSequences) {
  const struct {
    std::string bytes;
    std::u16string wide;
  } cases[] = {
      {"\xc0\xaf", u"\uFFFD\uFFFD"},                      // overlong "/"
      {"\xc0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
      {"\xe0\x80\xaf", u"\uFFFD\uFFFD\uFFFD"},            // overlong "/"
      {"\xf0\x80\x80\xaf", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // overlong "/"
      {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
      {"\xed\xa0\x80", {char16_t(0xD800)}},  // a lone surrogate stays
  };
  for (const auto& c : cases)
    EXPECT_EQ(utf::to_utf16(c.bytes), c.wide) << ::testing::PrintToString(c.bytes);
}

TEST(Utf8, CodePointsCountCharactersNotBytes) {
  EXPECT_EQ(utf::code_points("INP\xe3\x83\x95\xe3\x82\xa1"), 5u);
}

struct Utf8Case {
  std::string bytes;
  bool valid;
};

const Utf8Case utf8_cases[] = {
    {"plain ascii text, long enough for the fast path", true},
    {"\xe6\xa2\x81\xe3\x81\xae\xe8\xa7\xa3\xe6\x9e\x90", true},
    {"\xf0\x9f\x98\x80", true},
    {"\xc0\xaf", false},          // overlong
    {"\xe0\x80\xaf", false},      // overlong
    {"\xed\xa0\x80", false},      // surrogate
    {"\xf4\x90\x80\x80", false},  // past U+10FFFF
    {"abc\x80", false},           // stray continuation
    {"\xff", false},
    {"\xe6\xa2", false},  // ends inside a character
    {"ok\xc3", false},
};

TEST(Utf8Validator, JudgesWholeAndSplitStreamsAlike) {
  for (const auto& c : utf8_cases) {
    for (std::size_t at = 0; at <= c.bytes.size(); ++at) {
      utf::Utf8Validator v;
      std::string out;
      const bool ok =
          v.feed(c.bytes.substr(0, at), out) && v.feed(c.bytes.substr(at), out) && v.finish();
      EXPECT_EQ(ok, c.valid) << "case " << ::testing::PrintToString(c.bytes) << " split at " << at;
      if (c.valid) {
        EXPECT_EQ(out, c.bytes);
      }
    }
  }
}

TEST(Utf8Validator, ByteByByteCarriesEachCharacterAcross) {
  const std::string text = "x\xf0\x9f\x98\x80y\xe6\xa2\x81";
  utf::Utf8Validator v;
  std::string out;
  for (char c : text) ASSERT_TRUE(v.feed(std::string(1, c), out));
  EXPECT_TRUE(v.finish());
  EXPECT_EQ(out, text);
}

// Shift_JIS lead bytes, as code page 932 defines them.
bool sjis_lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

TEST(DoubleByteScan, FindsTheLastCompleteCharacterByScanningForward) {
  // 0x95 0x5C is one character whose trail byte is a backslash; 0x81 0x81
  // has a trail byte that is also a lead byte.
  const std::string text =
      "a\x95\x5c\x81\x81"
      "b";
  EXPECT_EQ(utf::complete_dbcs_prefix(text, sjis_lead), text.size());
  EXPECT_EQ(utf::complete_dbcs_prefix(text.substr(0, 2), sjis_lead), 1u);
  EXPECT_EQ(utf::complete_dbcs_prefix(text.substr(0, 4), sjis_lead), 3u);
  // A backward scan would take the second 0x81 for a lone lead byte here.
  EXPECT_EQ(utf::complete_dbcs_prefix(text.substr(0, 5), sjis_lead), 5u);
}

struct QuoteCase {
  std::string arg;
  std::string quoted;
};

const QuoteCase quote_cases[] = {
    {"plain", "plain"},
    {"", "\"\""},
    {"two words", "\"two words\""},
    {"tab\there", "\"tab\there\""},
    {"say \"hi\"", "\"say \\\"hi\\\"\""},
    {"a\"b", "a\\\"b"},
    {"C:\\dir\\", "C:\\dir\\"},
    {"C:\\my dir\\", "\"C:\\my dir\\\\\""},
    {"a\\\\\"b", "a\\\\\\\\\\\"b"},
    {"back\\slash", "back\\slash"},
    {"\\\\server\\share", "\\\\server\\share"},
    {"\xe6\xa2\x81 \xe8\xa7\xa3\xe6\x9e\x90", "\"\xe6\xa2\x81 \xe8\xa7\xa3\xe6\x9e\x90\""},
};

TEST(CommandLine, QuotesByTheRuntimeRules) {
  for (const auto& c : quote_cases) EXPECT_EQ(quote_argument(c.arg), c.quoted) << c.arg;
}

TEST(CommandLine, JoinsWithOneBlankAndQuotesElementZeroToo) {
  EXPECT_EQ(join_command_line({"C:\\Program Files\\app\\tools\\editor.exe", "x", "", "-header"}),
            "\"C:\\Program Files\\app\\tools\\editor.exe\" x \"\" -header");
}

}  // namespace
}  // namespace tolvane
