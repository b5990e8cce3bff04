#include "failure.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/console.hpp"
#include "process_info.hpp"

namespace tolvane {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// FormatMessage texts carry inserts ("%1", "%2!s!") that nobody filled.
std::string fill_inserts(std::string_view text, std::string_view subject) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i + 1 == text.size() || !is_digit(text[i + 1])) {
      out += text[i];
      continue;
    }
    std::size_t end = i + 1;
    while (end < text.size() && is_digit(text[end])) ++end;
    const bool first_insert = text.substr(i + 1, end - i - 1) == "1";
    if (end < text.size() && text[end] == '!') {
      const std::size_t close = text.find('!', end + 1);
      if (close != std::string_view::npos) end = close + 1;
    }
    if (first_insert && !subject.empty())
      out += subject;
    else if (!out.empty() && out.back() == ' ')
      out.pop_back();  // "for %1" without a subject reads "for"
    i = end - 1;
  }
  return out;
}

}  // namespace

Failure::Failure(std::string where, std::string kind, std::string message)
    : where_(std::move(where)), kind_(std::move(kind)), message_(std::move(message)) {}

Failure system_failure(std::string where, std::string kind, const std::string& api,
                       unsigned long code, std::string_view system_text, std::string_view subject) {
  std::string text = fill_inserts(system_text, subject);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '.'))
    text.pop_back();
  return Failure(std::move(where), std::move(kind),
                 api + " failed: " + text + " (error " + std::to_string(code) + ")");
}

std::string diagnostic(const std::string& program, const Failure& failure) {
  std::string line =
      program + ": " + failure.where() + ": " + failure.kind() + ": " + failure.message();
  // One line whatever a component or the system put in its text.
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line + "\n";
}

void report_failure_on_stderr(const Failure& failure) noexcept {
  try {
    platform::write_text_if_possible(platform::Stream::err,
                                     diagnostic(program_name(), failure));
  } catch (...) {
    // Out of memory for the text itself: the exit status has to say it.
  }
}

std::string exception_kind(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace tolvane
