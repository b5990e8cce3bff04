// Quoting an argument vector into one Windows command line, checked by
// splitting the line again the way the Microsoft C runtime does and
// comparing with the vector.
//
// Input: the arguments, separated by NUL bytes (an argument cannot hold
// NUL). The first one is element 0, the program's path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.hpp"
#include "fuzz_input.hpp"

namespace {

[[noreturn]] void breach(const char* what, std::string_view line) {
  std::fprintf(stderr, "quoting_fuzz: invariant broken: %s\n  command line: [%.*s]\n", what,
               int(line.size()), line.data());
  __builtin_trap();
}

void check(bool ok, const char* what, std::string_view line) {
  if (!ok) breach(what, line);
}

// How a `""` inside a quoted region reads. Both runtimes take it as one
// literal quote; the msvcrt of before 2008 (and CommandLineToArgvW) then
// leaves the quoted region, later runtimes stay in it. The launcher must not
// depend on which one its child was built with.
enum class DoubledQuote { ends_quoting, keeps_quoting };

struct Split {
  std::vector<std::string> argv;
  int doubled_quotes = 0;  // how often a `""` inside a quoted region was read
};

bool blank(char c) { return c == ' ' || c == '\t'; }

// Element 0, the program name, by its own rule: a double quote only opens
// or closes a quoted region and is dropped, a space or tab outside one ends
// the name, and backslashes are ordinary characters. Returns where the
// name ends.
std::size_t split_program_name(std::string_view line, std::string& name) {
  bool in_quotes = false;
  std::size_t i = 0;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      in_quotes = !in_quotes;
      continue;
    }
    if (!in_quotes && blank(c)) break;
    name += c;
  }
  return i;
}

// The arguments after element 0, by the Microsoft C runtime's documented
// rules ("Parsing C command-line arguments"):
// - arguments are delimited by spaces and tabs outside a quoted region;
// - a double quote not preceded by an odd number of backslashes opens or
//   closes a quoted region and is dropped; a quoted region can sit anywhere in
//   an argument, and an unclosed one runs to the end of the line;
// - 2n backslashes before a double quote give n backslashes, and the quote
//   delimits; 2n+1 give n backslashes and a literal quote;
// - backslashes not followed by a double quote are literal;
// - `""` inside a quoted region is one literal quote (see DoubledQuote).
void split_arguments(std::string_view line, std::size_t i, DoubledQuote rule, Split& out) {
  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i == line.size()) return;
    std::string arg;
    bool in_quotes = false;
    while (i < line.size()) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        arg.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          arg += '"';
          ++i;
        } else if (in_quotes && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          i += 2;
          ++out.doubled_quotes;
          if (rule == DoubledQuote::ends_quoting) in_quotes = false;
        } else {
          in_quotes = !in_quotes;
          ++i;
        }
        continue;
      }
      arg.append(backslashes, '\\');
      if (i == line.size() || (!in_quotes && blank(line[i]))) break;
      arg += line[i++];
    }
    out.argv.push_back(std::move(arg));
  }
}

// The whole line as a started program sees it.
Split split_command_line(std::string_view line, DoubledQuote rule) {
  Split out;
  std::string name;
  const std::size_t end = split_program_name(line, name);
  out.argv.push_back(std::move(name));
  split_arguments(line, end, rule, out);
  return out;
}

void check_round_trip(const std::vector<std::string>& argv, const std::string& line,
                      bool first_by_own_rule) {
  for (DoubledQuote rule : {DoubledQuote::ends_quoting, DoubledQuote::keeps_quoting}) {
    Split split;
    if (first_by_own_rule) {
      split = split_command_line(line, rule);
    } else {
      // Every element as an ordinary argument, behind a plain program name.
      const std::string behind = "prog.exe " + line;
      split = split_command_line(behind, rule);
      split.argv.erase(split.argv.begin());
    }
    check(split.doubled_quotes == 0, "the line holds no doubled quote inside a quoted region",
          line);
    if (split.argv != argv) {
      std::fprintf(stderr, "quoting_fuzz: %s rule, element 0 %s\n",
                   rule == DoubledQuote::ends_quoting ? "pre-2008" : "current",
                   first_by_own_rule ? "by its own rule" : "as an ordinary argument");
      for (std::size_t k = 0; k < argv.size() || k < split.argv.size(); ++k)
        std::fprintf(stderr, "  [%zu] given [%s] split [%s]\n", k,
                     k < argv.size() ? argv[k].c_str() : "(none)",
                     k < split.argv.size() ? split.argv[k].c_str() : "(none)");
      breach("splitting the joined line gives the vector back", line);
    }
  }
}

void check_quoted_forms(const std::vector<std::string>& argv, const std::string& line) {
  std::size_t total = 0;
  for (const std::string& a : argv) {
    const std::string q = tolvane::quote_argument(a);
    const bool needs_quotes = a.empty() || a.find_first_of(" \t") != std::string::npos;
    // A quote in an unquoted argument is escaped, so only quoting puts one
    // in front.
    const bool quoted = !q.empty() && q.front() == '"';
    check(needs_quotes == quoted,
          "an argument is quoted exactly when empty or holding a blank or tab", q);
    if (quoted)
      check(q.size() >= 2 && q.back() == '"', "a quoted argument ends in its closing quote", q);
    if (!needs_quotes && a.find('"') == std::string::npos)
      check(q == a, "an argument without blank, tab or quote stays as it is", q);
    check(q.size() >= a.size() && q.size() <= 2 * a.size() + 2,
          "quoting at most doubles an argument", q);
    total += q.size();
  }
  check(line.size() == total + (argv.empty() ? 0 : argv.size() - 1),
        "arguments are joined by single blanks", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> argv = tolvane::fuzz::split_at_nul(text);

  // Any text at all as ordinary arguments.
  const std::string any_line = tolvane::join_command_line(argv);
  check_quoted_forms(argv, any_line);
  check_round_trip(argv, any_line, false);

  // As the launcher builds it: element 0 is the path of an executable file,
  // so it holds no double quote (Windows forbids them in file names) and
  // does not end in a separator. Its own rule keeps backslashes before a
  // closing quote as they are, which only a path ending in one would show.
  std::string& program = argv.front();
  std::string path;
  for (char c : program)
    if (c != '"') path += c;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  program = path;
  const std::string line = tolvane::join_command_line(argv);
  check_round_trip(argv, line, true);
  return 0;
}
