// The launcher's command line: parsing, help, usage and error texts. Pure:
// words in, an outcome out. Texts use "\n" line ends; the platform layer
// writes them with its own line break.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tolvane::cli {

// nogui: monostate when absent, true when given without a value, else the
// value's text (possibly empty).
using NoguiValue = std::variant<std::monostate, bool, std::string>;

struct Args {
  std::string input;
  NoguiValue nogui;
};

struct Outcome {
  enum class Action { run, help, error };
  Action action = Action::run;
  Args args;            // Action::run
  std::string message;  // Action::error: the text after "PROG: error: "
};

// words: the command-line words after the program name.
Outcome parse(const std::vector<std::string>& words);

// Texts, each line ending in "\n". prog is the executable's file name.
std::string usage_text(std::string_view prog, int width);
std::string help_text(std::string_view prog, int width);
std::string error_text(std::string_view prog, std::string_view message, int width);

// COLUMNS when it is a positive whole number, else the console's width
// when known, else 80.
int output_width(const std::optional<std::string>& columns_env, std::optional<int> console_width);

}  // namespace tolvane::cli
