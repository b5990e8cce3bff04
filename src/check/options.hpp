// tolvane-check's command line.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "check.hpp"

namespace tolvane::check {

// A component that the layout must hold (--require converter-module):
// one that its project builds, so that a half-built tree fails.
struct Required {
  Form form;
  Role role;
};

struct Options {
  std::string dir;
  std::optional<std::string> deck;       // as given
  std::optional<std::string> deck_text;  // what it holds
  std::chrono::milliseconds timeout{10000};
  bool only_failed = false;
  bool list = false;
  bool in_process = false;
  bool strict = false;
  int repeat = 1;
  std::optional<std::string> filter;
  std::optional<std::string> junit;
  std::vector<Required> required;
};

// Parses the words after the program's; help, the version and a usage
// error end the process here (status 0, 0 and 2).
Options parse_options(const std::vector<std::string>& words);

// A usage error: the usage line and one line that says what is wrong,
// status 2.
[[noreturn]] void usage_error(const std::string& message);

// "converter-module", "monitor-tool": how --require and the lines name a
// component of a form.
std::string component_name(Form form, Role role);

}  // namespace tolvane::check
