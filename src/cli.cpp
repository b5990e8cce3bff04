#include "cli.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

#include "utf.hpp"

namespace tolvane::cli {
namespace {

// ---- Parsing ----

enum class WordClass { value, separator, help, help_with_value, nogui, unmatched };

struct Word {
  WordClass word_class;
  std::optional<std::string> attached;  // text after "=", or after "-h-"
};

bool all_digits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "-5", "-1.5" and "-.5", but not "-1.": such words are values, not options.
bool is_negative_number(std::string_view w) {
  if (w.size() < 2 || w[0] != '-') return false;
  std::string_view body = w.substr(1);
  std::size_t dot = body.find('.');
  if (dot == std::string_view::npos) return all_digits(body);
  std::string_view fraction = body.substr(dot + 1);
  return all_digits(body.substr(0, dot)) && !fraction.empty() && all_digits(fraction);
}

std::optional<std::string> after_equals(std::string_view w) {
  std::size_t eq = w.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::string(w.substr(eq + 1));
}

std::string_view before_equals(std::string_view w) { return w.substr(0, w.find('=')); }

// w begins with "--" and is longer than that: only "--help" can match.
std::optional<Word> long_option(std::string_view w) {
  if (!std::string_view("--help").starts_with(before_equals(w))) return std::nullopt;
  auto attached = after_equals(w);
  return Word{attached ? WordClass::help_with_value : WordClass::help, attached};
}

// w begins with "-" and a character other than "-".
std::optional<Word> short_option(std::string_view w) {
  std::string_view name = before_equals(w);
  if (name == "-h" && w.size() > 2) return Word{WordClass::help_with_value, after_equals(w)};
  if (w.starts_with("-h")) {
    // Characters glued to "-h" would be further flags; there are none, so
    // they are ignored, except that a "-" there reads as an attached value.
    std::string_view rest = w.substr(2);
    if (rest.starts_with("-")) return Word{WordClass::help_with_value, std::string(rest)};
    return Word{WordClass::help, std::nullopt};
  }
  if (name.size() >= 2 && std::string_view("-nogui").starts_with(name))
    return Word{WordClass::nogui, after_equals(w)};
  return std::nullopt;
}

Word classify(std::string_view w) {
  if (w == "--") return {WordClass::separator, std::nullopt};
  if (w.empty() || w[0] != '-' || w == "-") return {WordClass::value, std::nullopt};
  if (auto form = w[1] == '-' ? long_option(w) : short_option(w)) return *form;
  if (is_negative_number(w) || w.find(' ') != std::string_view::npos)
    return {WordClass::value, std::nullopt};
  return {WordClass::unmatched, std::nullopt};
}

Outcome error(std::string message) {
  Outcome o;
  o.action = Outcome::Action::error;
  o.message = std::move(message);
  return o;
}

class Scan {
 public:
  explicit Scan(const std::vector<std::string>& words) : words_(words) {}

  Outcome run() {
    for (std::size_t i = 0; i < words_.size(); ++i) {
      Word w = word_at(i);
      switch (w.word_class) {
        case WordClass::separator: separator_ = i; break;
        case WordClass::help: return Outcome{Outcome::Action::help, {}, {}};
        case WordClass::help_with_value:
          return error("argument -h/--help: ignored explicit argument '" + *w.attached + "'");
        case WordClass::nogui: i = take_nogui(i, w.attached); break;
        case WordClass::value: place_value(i); break;
        case WordClass::unmatched: left_over_.push_back(i); break;
      }
    }
    return finish();
  }

 private:
  Word word_at(std::size_t i) const {
    if (separator_ && *separator_ < i) return {WordClass::value, std::nullopt};
    return classify(words_[i]);
  }

  // Returns the index of the last word consumed.
  std::size_t take_nogui(std::size_t i, const std::optional<std::string>& attached) {
    if (attached) {
      nogui_ = *attached;
    } else if (i + 1 < words_.size() && word_at(i + 1).word_class == WordClass::value) {
      nogui_ = words_[++i];
    } else {
      nogui_ = true;
    }
    return i;
  }

  void place_value(std::size_t i) {
    if (input_)
      left_over_.push_back(i);
    else
      input_ = i;
  }

  bool separator_touches_input() const {
    return input_ && (*separator_ + 1 == *input_ || *input_ + 1 == *separator_);
  }

  Outcome finish() {
    if (separator_ && !separator_touches_input()) {
      left_over_.push_back(*separator_);
      std::sort(left_over_.begin(), left_over_.end());
    }
    if (!input_) return error("the following arguments are required: input");
    if (!left_over_.empty()) {
      std::string message = "unrecognized arguments:";
      for (std::size_t i : left_over_) message += " " + words_[i];
      return error(message);
    }
    return Outcome{Outcome::Action::run, Args{words_[*input_], nogui_}, {}};
  }

  const std::vector<std::string>& words_;
  std::optional<std::size_t> separator_;
  std::optional<std::size_t> input_;
  std::vector<std::size_t> left_over_;
  NoguiValue nogui_;
};

// ---- Text layout ----
// Widths are in code points of UTF-8 text.

constexpr std::string_view usage_prefix = "usage: ";
constexpr std::array<std::string_view, 3> usage_groups = {"[-h]", "[-nogui [/path/to/.s2f]]",
                                                          "input"};

struct Entry {
  std::string_view invocation;
  std::string_view help;
};

constexpr std::array<Entry, 1> positional_entries = {{{"input", "INPファイルのパス"}}};
constexpr std::array<Entry, 2> option_entries = {{
    {"-h, --help", "show this help message and exit"},
    {"-nogui [/path/to/.s2f]", "設定ファイルのパス(指定しない場合はsession.rs2fを使用)"},
}};

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t width_of(std::string_view s) { return utf::code_points(s); }

std::vector<std::string_view> characters(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= s.size(); ++i) {
    if (i == s.size() || !is_continuation(s[i])) {
      out.push_back(s.substr(start, i - start));
      start = i;
    }
  }
  return out;
}

std::string spaces(std::size_t n) { return std::string(n, ' '); }

bool is_ascii(std::string_view ch) { return static_cast<unsigned char>(ch[0]) < 0x80; }

// Japanese has no spaces, so a line may break between any two characters
// where one is not ASCII; an opening bracket stays with what follows it and
// a closing one with what precedes it.
bool may_break_between(std::string_view prev, std::string_view next) {
  constexpr std::array<std::string_view, 4> openers = {"(", "[", "（", "「"};
  constexpr std::array<std::string_view, 6> closers = {")", "]", "）", "」", "、", "。"};
  if (is_ascii(prev) && is_ascii(next)) return false;
  return std::find(openers.begin(), openers.end(), prev) == openers.end() &&
         std::find(closers.begin(), closers.end(), next) == closers.end();
}

struct Piece {
  std::string_view text;
  bool after_space;
};

// The text cut at every place where a line may break.
std::vector<Piece> pieces(std::string_view text) {
  std::vector<Piece> out;
  bool pending_space = false;
  std::string_view prev;
  std::size_t pos = 0;
  for (std::string_view ch : characters(text)) {
    if (ch == " ") {
      pending_space = true;
    } else if (out.empty() || pending_space || may_break_between(prev, ch)) {
      out.push_back({text.substr(pos, ch.size()), pending_space && !out.empty()});
      pending_space = false;
    } else {
      Piece& last = out.back();
      last.text = std::string_view(last.text.data(), last.text.size() + ch.size());
    }
    prev = ch;
    pos += ch.size();
  }
  return out;
}

// Greedy fill; a piece wider than the line stands alone on its own line.
std::vector<std::string> wrap(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t used = 0;
  for (const Piece& p : pieces(text)) {
    std::size_t w = width_of(p.text);
    std::size_t gap = p.after_space ? 1 : 0;
    if (!line.empty() && used + gap + w > width) {
      lines.push_back(line);
      line.clear();
      used = 0;
    }
    if (!line.empty() && gap) line += ' ';
    if (!line.empty()) used += gap;
    line += p.text;
    used += w;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

std::size_t usable_width(int width) { return static_cast<std::size_t>(std::max(width, 1)); }

// Column where help texts start: 24 when there is room, otherwise
// shrinking so that help keeps at least half of a narrow line.
std::size_t help_column(std::size_t width) {
  std::size_t narrow = std::max(width >= 20 ? width - 20 : 0, width / 2);
  return std::min<std::size_t>(24, narrow);
}

std::string format_entry(const Entry& e, std::size_t column, std::size_t width) {
  std::vector<std::string> lines = wrap(e.help, std::max<std::size_t>(width - column, 1));
  std::string head = "  " + std::string(e.invocation);
  std::string out;
  std::size_t first = 0;
  if (width_of(e.invocation) + 4 <= column) {
    out = head + spaces(column - width_of(head)) + lines[0] + "\n";
    first = 1;
  } else {
    out = head + "\n";
  }
  for (std::size_t i = first; i < lines.size(); ++i) out += spaces(column) + lines[i] + "\n";
  return out;
}

// Words separated by single spaces, continuation lines indented.
std::string fill(std::string line, const std::vector<std::string_view>& atoms, std::size_t indent,
                 std::size_t width) {
  std::string out;
  std::size_t used = width_of(line);
  for (std::string_view a : atoms) {
    if (!line.empty() && used + 1 + width_of(a) > width) {
      out += line + "\n";
      line.clear();
    }
    if (line.empty()) {
      line = spaces(indent);
      used = indent;
    } else {
      line += ' ';
      ++used;
    }
    line += a;
    used += width_of(a);
  }
  return out + line + "\n";
}

// Groups that fit stay whole; one that cannot fit at this indent breaks at
// its spaces.
std::vector<std::string_view> usage_atoms(std::size_t indent, std::size_t width) {
  std::vector<std::string_view> atoms;
  for (std::string_view g : usage_groups) {
    if (indent + width_of(g) <= width) {
      atoms.push_back(g);
      continue;
    }
    for (std::size_t start = 0; start <= g.size();) {
      std::size_t end = std::min(g.find(' ', start), g.size());
      atoms.push_back(g.substr(start, end - start));
      start = end + 1;
    }
  }
  return atoms;
}

std::size_t widest_group() {
  std::size_t w = 0;
  for (std::string_view g : usage_groups) w = std::max(w, width_of(g));
  return w;
}

std::optional<int> positive_whole_number(std::string_view s) {
  if (s.empty() || !all_digits(s)) return std::nullopt;
  int value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec == std::errc::result_out_of_range) return std::numeric_limits<int>::max();
  if (ec != std::errc() || end != s.data() + s.size() || value <= 0) return std::nullopt;
  return value;
}

}  // namespace

Outcome parse(const std::vector<std::string>& words) { return Scan(words).run(); }

std::string usage_text(std::string_view prog, int width) {
  std::size_t w = usable_width(width);
  std::string head = std::string(usage_prefix) + std::string(prog);
  std::string one_line = head;
  for (std::string_view g : usage_groups) {
    one_line += ' ';
    one_line += g;
  }
  if (width_of(one_line) <= w) return one_line + "\n";

  std::size_t after_prog = width_of(head) + 1;
  if (after_prog + widest_group() <= w)
    return fill(head, {usage_groups.begin(), usage_groups.end()}, after_prog, w);
  std::size_t indent = width_of(usage_prefix);
  return head + "\n" + fill("", usage_atoms(indent, w), indent, w);
}

std::string help_text(std::string_view prog, int width) {
  std::size_t w = usable_width(width);
  std::size_t column = help_column(w);
  std::string out = usage_text(prog, width) + "\npositional arguments:\n";
  for (const Entry& e : positional_entries) out += format_entry(e, column, w);
  out += "\noptions:\n";
  for (const Entry& e : option_entries) out += format_entry(e, column, w);
  return out;
}

// The message line is never wrapped: it quotes the user's own words.
std::string error_text(std::string_view prog, std::string_view message, int width) {
  return usage_text(prog, width) + std::string(prog) + ": error: " + std::string(message) + "\n";
}

int output_width(const std::optional<std::string>& columns_env, std::optional<int> console_width) {
  if (columns_env) {
    if (auto columns = positive_whole_number(*columns_env)) return *columns;
  }
  if (console_width && *console_width > 0) return *console_width;
  return 80;
}

}  // namespace tolvane::cli
