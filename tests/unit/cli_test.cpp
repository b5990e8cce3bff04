#include "cli.hpp"

#include <climits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "help_text.hpp"

namespace tolvane::cli {
namespace {

using Words = std::vector<std::string>;

// One readable line per outcome, so that a table row states the whole
// expected result: "help", "error: MESSAGE" or "run <input> nogui=...".
std::string describe(const Outcome& o) {
  switch (o.action) {
    case Outcome::Action::help: return "help";
    case Outcome::Action::error: return "error: " + o.message;
    case Outcome::Action::run: break;
  }
  std::string nogui = "absent";
  if (auto* b = std::get_if<bool>(&o.args.nogui)) nogui = *b ? "true" : "false";
  if (auto* s = std::get_if<std::string>(&o.args.nogui)) nogui = "<" + *s + ">";
  return "run <" + o.args.input + "> nogui=" + nogui;
}

std::string show(const Words& words) {
  std::string out;
  for (const auto& w : words) out += "[" + w + "]";
  return out;
}

struct ParseCase {
  Words words;
  std::string expected;
};

void expect_cases(const std::vector<ParseCase>& cases) {
  for (const auto& c : cases) EXPECT_EQ(describe(parse(c.words)), c.expected) << show(c.words);
}

const std::string required = "error: the following arguments are required: input";
std::string unrecognized(const std::string& rest) {
  return "error: unrecognized arguments: " + rest;
}
std::string ignored(const std::string& text) {
  return "error: argument -h/--help: ignored explicit argument '" + text + "'";
}

// ---- Parsing, by rule ----

TEST(CliParseOptions, NoguiAndItsPrefixes) {
  expect_cases({
      {{"a", "-nogui"}, "run <a> nogui=true"},
      {{"a", "-nogu"}, "run <a> nogui=true"},
      {{"a", "-nog"}, "run <a> nogui=true"},
      {{"a", "-no"}, "run <a> nogui=true"},
      {{"a", "-n"}, "run <a> nogui=true"},
  });
}

TEST(CliParseOptions, NoguiValueAttachedWithEquals) {
  expect_cases({
      {{"a", "-nogui=s.s2f"}, "run <a> nogui=<s.s2f>"},
      {{"a", "-n=x"}, "run <a> nogui=<x>"},
      {{"a", "-nog=x=y"}, "run <a> nogui=<x=y>"},
      {{"a", "-nogui="}, "run <a> nogui=<>"},
      {{"a", "-n="}, "run <a> nogui=<>"},
      {{"a", "-nogui=a b"}, "run <a> nogui=<a b>"},
      // An attached value, even an empty one, means the next word is not taken.
      {{"-nogui=", "a"}, "run <a> nogui=<>"},
      {{"a", "-nogui=", "b"}, unrecognized("b")},
  });
}

TEST(CliParseOptions, HelpFormsAndPrefixes) {
  for (const char* w : {"-h", "--help", "--hel", "--he", "--h"})
    EXPECT_EQ(describe(parse({w})), "help") << w;
}

TEST(CliParseOptions, HelpWithGluedCharactersIgnoresThem) {
  for (const char* w : {"-hx", "-hn", "-hh", "-hogwash", "-hx=y", "-h x", "-h/"})
    EXPECT_EQ(describe(parse({"a", w})), "help") << w;
}

TEST(CliParseOptions, HelpWithAttachedValueIsAnError) {
  expect_cases({
      {{"-h=x"}, ignored("x")},
      {{"--help=x"}, ignored("x")},
      {{"--he=x"}, ignored("x")},
      {{"--h=x"}, ignored("x")},
      {{"-h=a=b"}, ignored("a=b")},
      {{"-h="}, ignored("")},
      {{"--help="}, ignored("")},
      {{"-h=a b"}, ignored("a b")},
      // A dash right after "-h" makes all that follows the attached text.
      {{"-h-xyz"}, ignored("-xyz")},
      {{"-h-"}, ignored("-")},
      {{"-h-x=y"}, ignored("-x=y")},
      {{"-h--"}, ignored("--")},
      // "--" is a prefix of "--help" alone, so "--=x" is "--help=x".
      {{"--=x"}, ignored("x")},
      // The attached text is quoted as it stands, backslashes and quotes included.
      {{"-h=C:\\it's"}, ignored("C:\\it's")},
  });
}

TEST(CliParseOptions, UnmatchedOptionWords) {
  for (const char* w : {"--nogui", "-noguix", "-nogui-", "-nogux", "-nx", "--n", "--helpx",
                        "--help-me", "--h-x", "-H", "-x", "---", "-=x", "-="})
    EXPECT_EQ(describe(parse({"a", w})), unrecognized(w)) << w;
}

TEST(CliParseValueClasses, ValueWords) {
  for (const char* w :
       {"beam.inp", "", "-", "-5", "-0", "-1.5", "-.5", "-12.250", "-x y", "-nogui x", "--nogui x",
        "--help x", "-n x", "- ", "a=b", "ファイル.inp", "C:\\jobs\\beam.inp"})
    EXPECT_EQ(describe(parse({w})), "run <" + std::string(w) + "> nogui=absent") << w;
}

TEST(CliParseValueClasses, NotNegativeNumbers) {
  // Option words that fill nothing: the deck counts as missing.
  for (const char* w : {"-1.", "-1.2.3", "-5x", "-1e5", "--5", "-.", "-5.-1"})
    EXPECT_EQ(describe(parse({w})), required) << w;
}

TEST(CliParseValueClasses, AnOptionFormWithASpaceStaysAnOption) {
  expect_cases({
      {{"-h x"}, "help"},
      {{"a", "-n=x y"}, "run <a> nogui=<x y>"},
  });
}

TEST(CliParseSeparator, MakesLaterWordsValues) {
  expect_cases({
      {{"--", "-nogui"}, "run <-nogui> nogui=absent"},
      {{"--", "-h"}, "run <-h> nogui=absent"},
      {{"--", "-x"}, "run <-x> nogui=absent"},
      {{"--", "--"}, "run <--> nogui=absent"},
      {{"a", "--", "-h"}, unrecognized("-h")},
      {{"a", "--", "-nogui"}, unrecognized("-nogui")},
  });
}

TEST(CliParseSeparator, CountsAsNoWordNextToTheInput) {
  expect_cases({
      {{"--", "a"}, "run <a> nogui=absent"},
      {{"a", "--"}, "run <a> nogui=absent"},
      {{"-nogui", "--", "x"}, "run <x> nogui=true"},
      {{"-nogui", "v", "--", "a"}, "run <a> nogui=<v>"},
      {{"-x", "--", "a"}, unrecognized("-x")},
      // Directly after the input: dropped; the next value is still left over.
      {{"a", "--", "b"}, unrecognized("b")},
      // The second "--" is a value word, left over.
      {{"--", "a", "--"}, unrecognized("--")},
      {{"a", "--", "--"}, unrecognized("--")},
      {{"--", "--", "--"}, unrecognized("--")},
  });
}

TEST(CliParseSeparator, IsLeftOverElsewhere) {
  expect_cases({
      {{"a", "b", "--"}, unrecognized("b --")},
      {{"a", "b", "--", "c"}, unrecognized("b -- c")},
      {{"a", "-nogui", "--", "b"}, unrecognized("-- b")},
      {{"a", "-x", "--"}, unrecognized("-x --")},
      // Not before the input either: "-nogui" takes "v", which is no input.
      {{"-nogui", "v", "--"}, required},
      {{"--"}, required},
  });
}

TEST(CliParseNoguiValue, TakesTheNextValueWord) {
  expect_cases({
      {{"-nogui", "s.s2f", "a"}, "run <a> nogui=<s.s2f>"},
      {{"a", "-nogui", "s.s2f"}, "run <a> nogui=<s.s2f>"},
      {{"-n", "s", "a"}, "run <a> nogui=<s>"},
      {{"-nogui", "-5", "a"}, "run <a> nogui=<-5>"},
      {{"-nogui", "-", "a"}, "run <a> nogui=<->"},
      {{"-nogui", "x y", "a"}, "run <a> nogui=<x y>"},
      {{"-nogui", "", "a"}, "run <a> nogui=<>"},
      {{"a", "-nogui", "s", "b"}, unrecognized("b")},
  });
}

TEST(CliParseNoguiValue, TakesTheOnlyValueWordEvenIfInputStaysEmpty) {
  expect_cases({
      {{"-nogui", "beam.inp"}, required},
      {{"-nogui", "-nogui", "beam.inp"}, required},
      {{"-nogui", ""}, required},
  });
}

TEST(CliParseNoguiValue, TakesNoOptionWordOrSeparator) {
  expect_cases({
      {{"a", "-nogui", "-x"}, unrecognized("-x")},
      {{"-nogui", "-nogui=v", "a"}, "run <a> nogui=<v>"},
      {{"-nogui", "-h"}, "help"},
      {{"-nogui", "--"}, required},
      {{"a", "-nogui=-h"}, "run <a> nogui=<-h>"},
  });
}

TEST(CliParseNoguiValue, LastOccurrenceWins) {
  expect_cases({
      {{"a", "-nogui", "x", "-nogui"}, "run <a> nogui=true"},
      {{"a", "-nogui", "-nogui=y"}, "run <a> nogui=<y>"},
      {{"-n=x", "a", "-nog", "z"}, "run <a> nogui=<z>"},
  });
}

TEST(CliParseHelp, ActsWhenReachedWhateverSurroundsIt) {
  expect_cases({
      {{"-h"}, "help"},
      {{"a", "b", "-h"}, "help"},
      {{"-x", "--help"}, "help"},
      {{"--he", "-h=x"}, "help"},
      {{"-h", "-h=x"}, "help"},
      {{"-nogui", "v", "--hel", "a", "b"}, "help"},
      {{"-nogui", "-h"}, "help"},
      {{"--nogui", "--help"}, "help"},
      {{"deck.inp", "-hx"}, "help"},
      {{"-h", "--", "-x"}, "help"},
  });
}

TEST(CliParseHelp, AnEarlierHelpErrorWins) {
  expect_cases({
      {{"-h=x", "-h"}, ignored("x")},
      {{"a", "-h-y", "--help"}, ignored("-y")},
      {{"deck.inp", "--help=yes"}, ignored("yes")},
  });
}

TEST(CliParseOutcome, MissingInputIsReportedBeforeLeftOvers) {
  expect_cases({
      {{}, required},
      {{"-x"}, required},
      {{"-x", "--nogui", "-noguix"}, required},
      {{"-nogui"}, required},
      {{"--nogui"}, required},
      {{"-deck.inp"}, required},
      {{"-nogui=s.s2f"}, required},
      {{"-n", "s.s2f", "-noguix"}, required},
  });
}

TEST(CliParseOutcome, LeftOversInCommandLineOrder) {
  expect_cases({
      {{"a", "b"}, unrecognized("b")},
      {{"a", "b", "c"}, unrecognized("b c")},
      {{"-x", "a", "b"}, unrecognized("-x b")},
      {{"a", "-x", "b", "--y", "c d"}, unrecognized("-x b --y c d")},
      {{"a", "", "b"}, unrecognized(" b")},
      {{"a", "--nogui"}, unrecognized("--nogui")},
      {{"a", "-noguix"}, unrecognized("-noguix")},
      {{"-x", "a"}, unrecognized("-x")},
      {{"a", "-nogui", "s", "b"}, unrecognized("b")},
  });
}

TEST(CliParseOutcome, RunCarriesTheFields) {
  Outcome given = parse({"beam.inp", "-nogui", "s.s2f"});
  ASSERT_EQ(given.action, Outcome::Action::run);
  EXPECT_EQ(given.args.input, "beam.inp");
  ASSERT_TRUE(std::holds_alternative<std::string>(given.args.nogui));
  EXPECT_EQ(std::get<std::string>(given.args.nogui), "s.s2f");

  Outcome bare = parse({"beam.inp", "-nogui"});
  ASSERT_TRUE(std::holds_alternative<bool>(bare.args.nogui));
  EXPECT_TRUE(std::get<bool>(bare.args.nogui));

  EXPECT_TRUE(std::holds_alternative<std::monostate>(parse({"beam.inp"}).args.nogui));
}

// ---- Texts ----

const std::string usage80 = "usage: Tolvane.exe [-h] [-nogui [/path/to/.s2f]] input\n";

std::string help_body(const std::string& usage) { return usage + expected::help_after_usage; }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t code_points(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string without_blanks(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\n') out += c;
  return out;
}

TEST(CliHelpText, ExactFromWidth58Up) {
  // 58 is the widest line: 24 columns plus 34 Japanese characters.
  for (int w : {80, 64, 63, 58, 200, INT_MAX})
    EXPECT_EQ(help_text("Tolvane.exe", w), help_body(usage80)) << w;
}

TEST(CliHelpText, NamesTheGivenProgram) {
  EXPECT_EQ(help_text("Launcher.exe", 80),
            help_body("usage: Launcher.exe [-h] [-nogui [/path/to/.s2f]] input\n"));
  EXPECT_EQ(help_text("Launcher.exe", 64),
            help_body("usage: Launcher.exe [-h] [-nogui [/path/to/.s2f]] input\n"));
}

TEST(CliHelpText, Width57WrapsJapaneseKeepingTheClosingBracket) {
  std::string expected = help_body(usage80);
  std::string from = "session.rs2fを使用)\n";
  expected.replace(expected.find(from), from.size(),
                   "session.rs2fを使\n"
                   "                        用)\n");
  EXPECT_EQ(help_text("Tolvane.exe", 57), expected);
}

TEST(CliHelpText, Width40) {
  EXPECT_EQ(help_text("Tolvane.exe", 40),
            "usage: Tolvane.exe\n"
            "       [-h] [-nogui [/path/to/.s2f]]\n"
            "       input\n"
            "\n"
            "positional arguments:\n"
            "  input             INPファイルのパス\n"
            "\n"
            "options:\n"
            "  -h, --help        show this help\n"
            "                    message and exit\n"
            "  -nogui [/path/to/.s2f]\n"
            "                    設定ファイルのパス(指定しない場合は\n"
            "                    session.rs2fを使用)\n");
}

TEST(CliHelpText, Width20) {
  EXPECT_EQ(help_text("Tolvane.exe", 20),
            "usage: Tolvane.exe\n"
            "       [-h] [-nogui\n"
            "       [/path/to/.s2f]]\n"
            "       input\n"
            "\n"
            "positional arguments:\n"
            "  input   INPファイルのパス\n"
            "\n"
            "options:\n"
            "  -h, --help\n"
            "          show this\n"
            "          help\n"
            "          message\n"
            "          and exit\n"
            "  -nogui [/path/to/.s2f]\n"
            "          設定ファイルのパス\n"
            "          (指定しない場合は\n"
            "          session.rs2f\n"
            "          を使用)\n");
}

TEST(CliHelpText, NoLineExceedsTheWidthFrom24Up) {
  for (int w = 24; w <= 100; ++w)
    for (const auto& line : lines_of(help_text("Tolvane.exe", w)))
      EXPECT_LE(code_points(line), static_cast<std::size_t>(w)) << w << ": " << line;
}

TEST(CliHelpText, EveryWidthKeepsAllTheText) {
  const std::string all = without_blanks(help_body(usage80));
  for (int w = -3; w <= 100; ++w) {
    std::string text = help_text("Tolvane.exe", w);
    EXPECT_EQ(without_blanks(text), all) << w;
    EXPECT_EQ(text.back(), '\n') << w;
    EXPECT_EQ(text.find("\n\n\n"), std::string::npos) << w;
  }
}

TEST(CliHelpText, TinyWidthsPutOneWordPerLine) {
  EXPECT_EQ(help_text("Tolvane.exe", 0), help_text("Tolvane.exe", 1));
  EXPECT_EQ(help_text("Tolvane.exe", -5), help_text("Tolvane.exe", 1));
  std::string at1 = help_text("Tolvane.exe", 1);
  EXPECT_NE(at1.find("\nshow\nthis\nhelp\nmessage\nand\nexit\n"), std::string::npos);
  EXPECT_NE(at1.find("\nsession.rs2f\nを\n使\n用)\n"), std::string::npos);
  std::string at10 = help_text("Tolvane.exe", 10);
  EXPECT_NE(at10.find("\n  input\n     INPファ\n     イルのパス\n"), std::string::npos);
}

TEST(CliUsageText, OneLineWhenItFits) {
  EXPECT_EQ(usage_text("Tolvane.exe", 80), usage80);
  EXPECT_EQ(usage_text("Tolvane.exe", 54), usage80);
}

TEST(CliUsageText, LongProgramNameAlignsAfterIt) {
  EXPECT_EQ(usage_text("Tolvane-structural-launcher.exe", 63),
            "usage: Tolvane-structural-launcher.exe [-h]\n"
            "                                       [-nogui [/path/to/.s2f]]\n"
            "                                       input\n");
  // Wider than 64 columns, but the name leaves the line no room.
  EXPECT_EQ(usage_text("Tolvane-structural-launcher.exe", 70),
            "usage: Tolvane-structural-launcher.exe [-h] [-nogui [/path/to/.s2f]]\n"
            "                                       input\n");
}

TEST(CliUsageText, NarrowWidthPutsGroupsUnderTheProgramName) {
  EXPECT_EQ(usage_text("Tolvane.exe", 53),
            "usage: Tolvane.exe [-h] [-nogui [/path/to/.s2f]]\n"
            "                   input\n");
  EXPECT_EQ(usage_text("Tolvane.exe", 31),
            "usage: Tolvane.exe\n"
            "       [-h]\n"
            "       [-nogui [/path/to/.s2f]]\n"
            "       input\n");
  // Each Japanese character is one column of the indent.
  EXPECT_EQ(usage_text("ツールランチャー.exe", 44),
            "usage: ツールランチャー.exe [-h]\n"
            "                    [-nogui [/path/to/.s2f]]\n"
            "                    input\n");
}

TEST(CliErrorText, UsageThenErrorLine) {
  struct Case {
    Words words;
    std::string line;
  };
  const std::vector<Case> cases = {
      {{}, "Tolvane.exe: error: the following arguments are required: input\n"},
      {{"a", "b", "--nogui"}, "Tolvane.exe: error: unrecognized arguments: b --nogui\n"},
      {{"-h=x"}, "Tolvane.exe: error: argument -h/--help: ignored explicit argument 'x'\n"},
      {{"-h-xyz"}, "Tolvane.exe: error: argument -h/--help: ignored explicit argument '-xyz'\n"},
  };
  for (const auto& c : cases) {
    Outcome o = parse(c.words);
    ASSERT_EQ(o.action, Outcome::Action::error) << show(c.words);
    EXPECT_EQ(error_text("Tolvane.exe", o.message, 80), usage80 + c.line) << show(c.words);
    EXPECT_EQ(error_text("Tolvane.exe", o.message, 64), usage80 + c.line) << show(c.words);
  }
}

TEST(CliErrorText, NarrowWidthWrapsOnlyTheUsage) {
  EXPECT_EQ(error_text("Tolvane.exe", "unrecognized arguments: b", 20),
            "usage: Tolvane.exe\n"
            "       [-h] [-nogui\n"
            "       [/path/to/.s2f]]\n"
            "       input\n"
            "Tolvane.exe: error: unrecognized arguments: b\n");
}

TEST(CliOutputWidth, ColumnsThenConsoleThen80) {
  struct Case {
    std::optional<std::string> columns;
    std::optional<int> console;
    int expected;
  };
  const std::vector<Case> cases = {
      {"120", 100, 120},
      {"1", 100, 1},
      {"007", 100, 7},
      {"99999999999999999999", 100, INT_MAX},
      {"0", 100, 100},
      {"-5", 100, 100},
      {"+80", 100, 100},
      {"abc", 100, 100},
      {"", 100, 100},
      {" 80", 100, 100},
      {"80 ", 100, 100},
      {"8 0", 100, 100},
      {"1.5", 100, 100},
      {"80x", 100, 100},
      {"0", std::nullopt, 80},
      {std::nullopt, 100, 100},
      {std::nullopt, 0, 80},
      {std::nullopt, -1, 80},
      {std::nullopt, std::nullopt, 80},
      {"abc", 0, 80},
  };
  for (const auto& c : cases)
    EXPECT_EQ(output_width(c.columns, c.console), c.expected)
        << c.columns.value_or("(unset)") << " / " << c.console.value_or(-999);
}

}  // namespace
}  // namespace tolvane::cli
