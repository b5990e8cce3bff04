#include "diagnostics.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <utility>

#include "heading.hpp"
#include "platform/process.hpp"

namespace tolvane {

namespace {

std::string& stored_program_name() {
  static std::string name;
  return name;
}

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

void set_program_name(std::string name) {
  const std::size_t n = std::min(name.size(), sizeof fixed_program - 1);
  std::memcpy(fixed_program, name.data(), n);
  fixed_program[n] = '\0';
  stored_program_name() = std::move(name);
}

const std::string& program_name() { return stored_program_name(); }

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

void write_or_fail(platform::Stream stream, std::string_view text) {
  if (auto refused = platform::write_text(stream, text))
    throw system_failure(stream == platform::Stream::out ? "stdout" : "stderr", *refused);
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

}  // namespace tolvane
