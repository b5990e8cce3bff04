#include "deck.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "tolvane/component.hpp"

namespace samples {

namespace {

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "!header, option" gives "!HEADER".
std::string keyword(std::string_view line) {
  std::string word(trim_blanks(line.substr(0, line.find(','))));
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word;
}

struct Dialect {
  const char* section;
  char mark;                // keyword lines start with it
  const char* comments[2];  // comment line prefixes
};

constexpr Dialect frontistr{"!HEADER", '!', {"!!", "#"}};
constexpr Dialect abaqus{"*HEADING", '*', {"**", "**"}};

bool is_comment(std::string_view line, const Dialect& d) {
  return line.starts_with(d.comments[0]) || line.starts_with(d.comments[1]);
}

std::string heading_after(const std::vector<std::string_view>& lines, std::size_t i,
                          const Dialect& d) {
  for (++i; i < lines.size(); ++i) {
    const std::string_view text = trim_blanks(lines[i]);
    if (text.empty() || is_comment(text, d)) continue;
    if (text.front() == d.mark) return {};
    return std::string(lines[i]);
  }
  return {};
}

}  // namespace

std::string read_bytes(const std::string& path) {
  std::FILE* raw = tolvane_fopen(path.c_str(), "rb");
  if (raw == nullptr) throw std::runtime_error(std::strerror(errno));
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(raw, std::fclose);
  std::string bytes;
  char buffer[16384];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(file.get())) throw std::runtime_error(std::strerror(errno));
  return bytes;
}

std::string find_heading(std::string_view deck) {
  if (deck.starts_with("\xEF\xBB\xBF")) deck.remove_prefix(3);
  const auto lines = split_lines(deck);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string word = keyword(lines[i]);
    if (word == frontistr.section) return heading_after(lines, i, frontistr);
    if (word == abaqus.section) return heading_after(lines, i, abaqus);
  }
  return {};
}

std::size_t count_lines(std::string_view deck) { return split_lines(deck).size(); }

std::string model_path(const std::string& deck) {
  return deck.ends_with(".inp") ? deck.substr(0, deck.size() - 4) : std::string();
}

std::optional<std::string> convert_deck(const std::string& deck, Encoding encoding) {
  const auto fail = [&](const std::string& message) {
    print_line(Stream::err, "inp_converter: " + message, encoding);
    return std::optional<std::string>();
  };
  print_line(Stream::out, "Reading deck " + deck, encoding);
  std::string text;
  try {
    text = read_bytes(deck);
  } catch (const std::exception& e) {
    return fail("cannot read " + deck + ": " + e.what());
  }
  const std::string model = model_path(deck);
  if (model.empty()) return fail(deck + ": not an .inp deck");
  std::error_code error;
  std::filesystem::create_directory(tolvane::component::fs_path(model), error);
  if (error) return fail("cannot create model folder " + model + ": " + error.message());
  print_line(Stream::out, "Converted " + std::to_string(count_lines(text)) + " lines", encoding);
  return find_heading(text);
}

}  // namespace samples
