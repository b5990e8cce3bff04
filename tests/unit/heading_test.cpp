// The converter output protocol: line ends, the last line and the heading,
// fed whole and split at every byte offset.
#include "heading.hpp"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace tolvane {
namespace {

std::optional<std::string> last_line_whole(const std::string& text) {
  LastLine last;
  last.feed(text);
  return last.last();
}

// Pieces must hold whole code points, so split only at character starts.
std::optional<std::string> last_line_split(const std::string& text, std::size_t at) {
  LastLine last;
  last.feed(text.substr(0, at));
  last.feed(text.substr(at));
  return last.last();
}

struct Case {
  const char* name;
  std::string text;
  std::optional<std::string> last;
};

const Case cases[] = {
    {"lf", "Reading deck\nheader:Bracket under load\n", "header:Bracket under load"},
    {"no_final_end", "Reading deck\nheader:Bracket under load", "header:Bracket under load"},
    {"crlf", "Reading deck\r\nheader:Bracket under load\r\n", "header:Bracket under load"},
    {"cr_only", "a\rheader:x\r", "header:x"},
    {"trailing_empty_line", "header:x\n\n", ""},
    {"single_lf", "\n", ""},
    {"cr_lf_is_one_end", "header:x\r\n", "header:x"},
    {"lf_cr_is_two_ends", "header:x\n\r", ""},
    {"empty", "", std::nullopt},
    {"vertical_tab", "a\vb", "b"},
    {"form_feed", "a\fb\f", "b"},
    {"separators_1c_1d_1e",
     "a\x1c"
     "b\x1d"
     "c\x1e"
     "d",
     "d"},
    {"nel",
     "a\xc2\x85"
     "b",
     "b"},
    {"line_separator",
     "a\xe2\x80\xa8"
     "b",
     "b"},
    {"paragraph_separator",
     "a\xe2\x80\xa9"
     "b\xe2\x80\xa9",
     "b"},
    // U+00A9, U+2027, U+202A, U+0084, U+20AC: neighbours of line ends.
    {"lookalikes_are_text", "\xc2\xa9\xe2\x80\xa7\xe2\x80\xaa\xc2\x84\xe2\x82\xac",
     "\xc2\xa9\xe2\x80\xa7\xe2\x80\xaa\xc2\x84\xe2\x82\xac"},
    {"unit_separator_is_no_end", "a\x1fz", "a\x1fz"},
    {"trailing_empty_crlf_line", "header:x\r\n\r\n", ""},
    {"cr_then_crlf", "header:x\r\r\n", ""},
    {"single_crlf", "\r\n", ""},
    {"untagged_last_line", "header:x\nPlain heading\n", "Plain heading"},
    {"only_the_last_line_counts", "header:first\nheader:second\n", "header:second"},
    {"blanks_kept", "header:  two  blanks  ", "header:  two  blanks  "},
    {"japanese", "\xe8\xaa\xad\xe8\xbe\xbc\nheader:\xe6\xa2\x81\n", "header:\xe6\xa2\x81"},
    {"tab_is_no_end", "a\tb", "a\tb"},
};

class LastLineCase : public ::testing::TestWithParam<Case> {};

TEST_P(LastLineCase, WholeText) { EXPECT_EQ(last_line_whole(GetParam().text), GetParam().last); }

TEST_P(LastLineCase, SplitAtEveryCharacterBoundary) {
  const std::string& text = GetParam().text;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    EXPECT_EQ(last_line_split(text, at), GetParam().last) << "split at " << at;
  }
}

TEST_P(LastLineCase, OneCharacterAtATime) {
  const std::string& text = GetParam().text;
  LastLine last;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= text.size(); ++i) {
    if (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    last.feed(text.substr(start, i - start));
    last.feed("");
    start = i;
  }
  EXPECT_EQ(last.last(), GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(Protocol, LastLineCase, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Lines longer than the limit: the prefix is kept, the rest drained, and
// only a last line that is too long says so.
struct LongCase {
  const char* name;
  std::string text;
  std::string last;
  bool too_long;
};

constexpr std::size_t small_limit = 8;

const LongCase long_cases[] = {
    {"endless_line", "0123456789", "01234567", true},
    {"ended_long_line", "0123456789\n", "01234567", true},
    {"long_then_short", "0123456789abcdef\nshort\n", "short", false},
    {"short_then_long", "short\n0123456789", "01234567", true},
    {"exactly_the_limit", "01234567\r\n", "01234567", false},
    {"long_then_empty_line", "0123456789\n\n", "", false},
    {"long_across_cr_lf", "x\r\n0123456789\r\n", "01234567", true},
};

class LongLineCase : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongLineCase, SplitAnywhereKeepsTheBoundedPrefix) {
  const LongCase& c = GetParam();
  for (std::size_t at = 0; at <= c.text.size(); ++at) {
    LastLine last(small_limit);
    last.feed(c.text.substr(0, at));
    last.feed(c.text.substr(at));
    EXPECT_EQ(last.last(), c.last) << "split at " << at;
    EXPECT_EQ(last.last_too_long(), c.too_long) << "split at " << at;
  }
  LastLine bytewise(small_limit);
  for (char ch : c.text) bytewise.feed(std::string(1, ch));
  EXPECT_EQ(bytewise.last(), c.last);
  EXPECT_EQ(bytewise.last_too_long(), c.too_long);
}

INSTANTIATE_TEST_SUITE_P(Bounded, LongLineCase, ::testing::ValuesIn(long_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LastLine, LongOutputKeepsOnlyTheLastLine) {
  LastLine last;
  const std::string line(100, 'x');
  for (int i = 0; i < 10000; ++i) last.feed(line + "\n");
  last.feed("header:end\n");
  EXPECT_EQ(last.last(), "header:end");
}

TEST(Heading, TagRemovedOnceFromTheFrontOnly) {
  EXPECT_EQ(heading_of("header:Bracket under load"), "Bracket under load");
  EXPECT_EQ(heading_of("header:"), "");
  EXPECT_EQ(heading_of("header:header:x"), "header:x");
  EXPECT_EQ(heading_of("Bracket"), "Bracket");
  EXPECT_EQ(heading_of(" header:x"), " header:x");
  EXPECT_EQ(heading_of("Header:x"), "Header:x");
  EXPECT_EQ(heading_of("header"), "header");
}

}  // namespace
}  // namespace tolvane
