#include "command_line.hpp"

namespace tolvane {

std::string quote_argument(std::string_view arg) {
  const bool quoted = arg.empty() || arg.find_first_of(" \t") != std::string_view::npos;
  std::string out;
  out.reserve(arg.size() + 2);
  if (quoted) out += '"';
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(2 * backslashes + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  if (quoted) {
    out.append(2 * backslashes, '\\');
    out += '"';
  } else {
    out.append(backslashes, '\\');
  }
  return out;
}

std::string join_command_line(const std::vector<std::string>& argv) {
  std::string line;
  for (const auto& arg : argv) {
    if (!line.empty()) line += ' ';
    line += quote_argument(arg);
  }
  return line;
}

}  // namespace tolvane
