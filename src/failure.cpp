#include "failure.hpp"

#include <cxxabi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "heading.hpp"
#include "platform/console.hpp"
#include "platform/process.hpp"
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
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return Failure(std::move(where), std::move(kind),
                 api + " failed: " + text + " (error " + std::to_string(code) + ")");
}

std::string diagnostic(const std::string& program, const Failure& failure) {
  std::string line =
      program + ": " + failure.where() + ": " + failure.kind() + ": " + failure.message();
  // One line whatever a component or the system put in its text.
  line.resize(blank_line_ends(line.data(), line.size()));
  return line + "\n";
}

void report_failure_on_stderr(const Failure& failure) noexcept {
  try {
    platform::write_text_if_possible(platform::Stream::err, diagnostic(program_name(), failure));
  } catch (const std::bad_alloc&) {
    report_without_allocating(failure.where().c_str(), failure.kind().c_str(),
                              failure.message().c_str());
  }
}

namespace {

// Fixed storage for the reports that may not allocate, one writer at a
// time (a crash on one thread while another reports without memory).
char fixed_program[256] = "";
char fixed_line[2048];
std::atomic_flag fixed_line_taken = ATOMIC_FLAG_INIT;

// Appends text to fixed_line at used, as much as fits before the line
// break at its end.
void append_fixed(std::size_t& used, const char* text) noexcept {
  for (; *text != '\0' && used < sizeof fixed_line - 1; ++text) fixed_line[used++] = *text;
}

}  // namespace

void keep_program_name_for_reports(std::string_view program) noexcept {
  const std::size_t n = std::min(program.size(), sizeof fixed_program - 1);
  std::memcpy(fixed_program, program.data(), n);
  fixed_program[n] = '\0';
}

void report_without_allocating(const char* where, const char* kind, const char* message) noexcept {
  while (fixed_line_taken.test_and_set()) {
  }
  // Before the start-up has kept a name: the executable's own.
  if (fixed_program[0] == '\0' &&
      platform::executable_file_name(fixed_program, sizeof fixed_program) == 0)
    std::memcpy(fixed_program, "Tolvane", sizeof "Tolvane");
  std::size_t used = 0;
  for (const char* part :
       {static_cast<const char*>(fixed_program), ": ", where, ": ", kind, ": ", message})
    append_fixed(used, part);
  used = blank_line_ends(fixed_line, used);
  fixed_line[used++] = '\n';
  platform::write_text_if_possible(platform::Stream::err, std::string_view(fixed_line, used));
  fixed_line_taken.clear();
}

Failure failure_of_thrown(const char* where) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return Failure(where, kind::memory, "out of memory");
  } catch (const std::exception& error) {
    return Failure(where, exception_kind(typeid(error)), error.what());
  } catch (...) {
    if (const std::type_info* type = abi::__cxa_current_exception_type())
      return Failure(where, exception_kind(*type), "an exception that is no std::exception");
    return Failure(where, kind::unspecified, "an exception of unknown type");
  }
}

int exit_status_of(const std::function<void()>& body) noexcept {
  try {
    body();
    return 0;
  } catch (const ExitRequest& request) {
    return request.status;
  } catch (const Failure& failure) {
    report_failure_on_stderr(failure);
  } catch (const std::bad_alloc&) {
    report_without_allocating("main", kind::memory, "out of memory");
  } catch (...) {
    try {
      report_failure_on_stderr(failure_of_thrown("main"));
    } catch (const std::bad_alloc&) {
      report_without_allocating("main", kind::memory, "out of memory");
    }
  }
  return 1;
}

std::string exception_kind(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace tolvane
