// Command-line parsing and the help, usage and error texts.
//
// Input: byte 0 picks the width, byte 1 says whether the first word names
// the program instead of "Tolvane.exe", the rest is the words, separated by
// NUL bytes (a real command line cannot hold NUL).
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "fuzz_input.hpp"
#include "help_text.hpp"
#include "utf.hpp"

namespace {

using tolvane::cli::Outcome;

[[noreturn]] void breach(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "cli_fuzz: invariant broken: %s\n", what);
  if (!detail.empty())
    std::fprintf(stderr, "  detail: [%.*s]\n", int(detail.size()), detail.data());
  __builtin_trap();
}

void check(bool ok, const char* what, std::string_view detail = {}) {
  if (!ok) breach(what, detail);
}

// Widths are counted in code points the way the layout counts them: every
// byte that is not a UTF-8 continuation byte starts one.
std::size_t width_of(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string without_blanks(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\n') out += c;
  return out;
}

// Strict UTF-8, so that a wrap which cut a character in two shows.
bool strict_utf8(std::string_view s) {
  tolvane::utf::Utf8Validator validator;
  std::string ignored;
  return validator.feed(s, ignored) && validator.finish();
}

// The documented layout at full width: usage on one line, then the
// arguments with their help starting in column 24.
constexpr std::string_view usage_groups = "[-h] [-nogui [/path/to/.s2f]] input";

std::string one_line_usage(std::string_view prog) {
  return "usage: " + std::string(prog) + " " + std::string(usage_groups) + "\n";
}

const std::string& help_body = tolvane::expected::help_after_usage;

// The widest help line: 24 columns of indent and 34 characters of help.
constexpr int widest_body_line = 58;

// Lines the layout does not break, however narrow the width: the usage
// head with the program's name, the section titles and the option
// invocations.
bool unbreakable_line(std::string_view line, std::string_view prog) {
  return line == "usage: " + std::string(prog) || line == "positional arguments:" ||
         line == "options:" || line == "  -nogui [/path/to/.s2f]" || line == "  -h, --help" ||
         line == "  input";
}

// A line wider than the width is fine only when it holds a single piece
// that cannot be broken (after its indent), or is one of the fixed heads.
void check_wrapped(std::string_view text, std::string_view prog, int width, const char* what) {
  const std::size_t w = static_cast<std::size_t>(width < 1 ? 1 : width);
  check(!text.empty() && text.back() == '\n', what, text);
  check(text.find("\n\n\n") == std::string_view::npos, "no two blank lines in a row", text);
  for (const std::string& line : lines_of(text)) {
    if (width_of(line) <= w) continue;
    if (unbreakable_line(line, prog)) continue;
    const std::size_t first = line.find_first_not_of(' ');
    check(first != std::string::npos && line.find(' ', first) == std::string::npos,
          "a line wider than the width holds more than one unbreakable word", line);
  }
}

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// Checks the outcome against what the parser documents and its tests pin
// down, using only the words themselves.
void check_outcome(const std::vector<std::string>& words, const Outcome& o) {
  switch (o.action) {
    case Outcome::Action::error:
      check(!o.message.empty(), "an error outcome carries a message");
      check(starts_with(o.message, "the following arguments are required: input") ||
                starts_with(o.message, "unrecognized arguments:") ||
                starts_with(o.message, "argument -h/--help: ignored explicit argument '"),
            "an error message is one of the three kinds", o.message);
      break;
    case Outcome::Action::help: {
      bool has_help_form = false;
      for (const auto& w : words) has_help_form |= starts_with(w, "-h") || starts_with(w, "--");
      check(has_help_form, "help comes only from a word of the -h/--help family");
      break;
    }
    case Outcome::Action::run: {
      bool input_is_a_word = false;
      for (const auto& w : words) input_is_a_word |= w == o.args.input;
      check(input_is_a_word, "the input is one of the words", o.args.input);
      if (const auto* flag = std::get_if<bool>(&o.args.nogui))
        check(*flag, "-nogui without a value is true");
      if (const auto* value = std::get_if<std::string>(&o.args.nogui)) {
        bool found = false;
        for (const auto& w : words) {
          const std::size_t eq = w.find('=');
          found |= w == *value || (eq != std::string::npos && w.substr(eq + 1) == *value);
        }
        check(found, "a -nogui value is a word or the text after '=' in one", *value);
      }
      break;
    }
  }

  // "-h" or "--help" gives help once reached, unless an earlier word can
  // end the scan itself (a help form with a value) or is the separator
  // that turns it into a value: both begin with "-h" or "--".
  for (const auto& w : words) {
    if (w == "-h" || w == "--help") {
      check(o.action == Outcome::Action::help, "-h or --help gives help");
      break;
    }
    if (starts_with(w, "-h") || starts_with(w, "--")) break;
  }

  // Words that cannot be options: exactly one is the input, none is an
  // error, more leave the rest over in command-line order.
  bool all_values = true;
  for (const auto& w : words) all_values &= w.empty() || w[0] != '-';
  if (all_values) {
    if (words.empty()) {
      check(o.action == Outcome::Action::error &&
                o.message == "the following arguments are required: input",
            "no words: the input is missing");
    } else if (words.size() == 1) {
      check(o.action == Outcome::Action::run && o.args.input == words[0] &&
                std::holds_alternative<std::monostate>(o.args.nogui),
            "one plain word is the input");
    } else {
      std::string expected = "unrecognized arguments:";
      for (std::size_t i = 1; i < words.size(); ++i) expected += " " + words[i];
      check(o.action == Outcome::Action::error && o.message == expected,
            "plain words after the input are left over in order", o.message);
    }
  }
}

// COLUMNS when it is a positive whole number (clamped to INT_MAX), else a
// positive console width, else 80.
void check_output_width(const std::optional<std::string>& columns, std::optional<int> console) {
  std::optional<int> from_columns;
  if (columns && !columns->empty() &&
      columns->find_first_not_of("0123456789") == std::string::npos) {
    long long value = 0;
    for (char c : *columns) {
      value = value * 10 + (c - '0');
      if (value > INT_MAX) {
        value = INT_MAX;
        break;
      }
    }
    if (value > 0) from_columns = static_cast<int>(value);
  }
  const int expected = from_columns ? *from_columns : (console && *console > 0) ? *console : 80;
  check(tolvane::cli::output_width(columns, console) == expected,
        "output_width picks COLUMNS, console, 80", columns.value_or("(unset)"));
}

int width_from(std::uint8_t b) {
  if (b <= 200) return b;  // 0 behaves as 1
  constexpr int unusual[] = {-5, -1, 57,  58,   63,     64,          65,
                             79, 80, 120, 1000, 100000, INT_MAX - 1, INT_MAX};
  return unusual[(b - 201) % (sizeof unusual / sizeof unusual[0])];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int width = width_from(data[0]);
  const bool named = (data[1] & 0x80) != 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);

  std::vector<std::string> words;
  if (!rest.empty()) words = tolvane::fuzz::split_at_nul(rest);

  // A program name is a file name: no line breaks or other controls.
  std::string prog = "Tolvane.exe";
  if (named && !words.empty()) {
    prog = words.front();
    words.erase(words.begin());
    for (char& c : prog)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }

  const Outcome outcome = tolvane::cli::parse(words);
  check_outcome(words, outcome);

  const std::string usage = tolvane::cli::usage_text(prog, width);
  const std::string help = tolvane::cli::help_text(prog, width);
  check_wrapped(usage, prog, width, "the usage text ends in a line end");
  check_wrapped(help, prog, width, "the help text ends in a line end");

  // Whatever the width, wrapping only moves blanks and line ends.
  check(without_blanks(usage) == without_blanks(one_line_usage(prog)),
        "the usage text keeps all its words", usage);
  check(without_blanks(help) == without_blanks(one_line_usage(prog) + help_body),
        "the help text keeps all its words", help);
  if (strict_utf8(prog)) check(strict_utf8(help), "wrapping never cuts a character", help);

  // Exact where everything fits: from 58 columns the argument list, and the
  // usage once its one line fits (for "Tolvane.exe" at 54 and more).
  const std::size_t one_line = width_of(one_line_usage(prog)) - 1;
  if (width >= widest_body_line)
    check(help == usage + help_body, "the argument list is exact from 58 columns", help);
  if (width >= 1 && static_cast<std::size_t>(width) >= one_line)
    check(usage == one_line_usage(prog), "the usage is one line where it fits", usage);
  if (width >= 64 && prog == "Tolvane.exe")
    check(help == one_line_usage(prog) + help_body, "the help text is exact from 64 columns", help);

  // The error line quotes the message unwrapped after the usage.
  std::string message =
      outcome.action == Outcome::Action::error ? outcome.message : "unrecognized arguments: x";
  const std::string error = tolvane::cli::error_text(prog, message, width);
  check(error == usage + prog + ": error: " + message + "\n",
        "the error text is the usage and one error line", error);

  // COLUMNS from the first word, a console width from the input's bytes.
  std::optional<std::string> columns;
  if (!words.empty() && (data[1] & 0x40)) columns = words.front();
  std::optional<int> console;
  if (data[1] & 0x20) console = static_cast<int>(static_cast<std::int8_t>(data[1] << 3)) * 3;
  check_output_width(columns, console);
  return 0;
}
