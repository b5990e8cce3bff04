// The launcher's failure vocabulary. A Failure names where it arose, its
// kind and a message; an ExitRequest carries a status and prints nothing.
// Both travel untouched to the entry, which alone turns them into a
// diagnostic and an exit status.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <typeinfo>

namespace tolvane {

// The kinds of failure that the launcher itself reports: the KIND of its
// diagnostic, each named as the built-in exception of the language whose
// texts the launcher's follow, after what went wrong (crash, which is no
// exception at all, is the one that is not). A failure that a component
// reports keeps the kind the component gave; one that a component throws
// is named after the exception's type ("std::runtime_error").
namespace kind {
// The system's answers to a failed call, and any other failed call.
inline constexpr const char *not_found = "FileNotFoundError",
                            *not_a_directory = "NotADirectoryError",
                            *permission = "PermissionError", *broken_pipe = "BrokenPipeError",
                            *system = "OSError";
// What the launcher finds wrong with what it is given: converter output
// that is not text in its encoding; a value that cannot go on (output
// without a line, an argument that no command line can carry).
inline constexpr const char *decode = "UnicodeDecodeError", *bad_value = "ValueError";
// A tool that outlived a time limit; only a caller that sets one meets it
// (the validator: the launcher waits for each tool as long as it runs).
inline constexpr const char* timeout = "TimeoutError";
// A component module or entry that cannot be bound, a component object
// without an operation or a field the launcher needs, and a component
// that failed without saying how (or threw what has no type).
inline constexpr const char *binding = "ImportError", *missing_attribute = "AttributeError",
                            *unspecified = "Exception";
// Ctrl-C, memory exhausted, a fault or abort() inside a component.
inline constexpr const char *interrupted = "KeyboardInterrupt", *memory = "MemoryError",
                            *crash = "crash";
}  // namespace kind

class Failure : public std::exception {
 public:
  Failure(std::string where, std::string kind, std::string message);

  const std::string& where() const noexcept { return where_; }
  const std::string& kind() const noexcept { return kind_; }
  const std::string& message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string where_;
  std::string kind_;
  std::string message_;
};

// A failed system call: "API failed: TEXT (error CODE)", the system's own
// text with its trailing line break and full stop removed. subject (the
// file concerned) fills the text's "%1" insert; other inserts are dropped.
Failure system_failure(std::string where, std::string kind, const std::string& api,
                       unsigned long code, std::string_view system_text,
                       std::string_view subject = {});

// Deliberately not a std::exception, so that no handler written for
// errors can swallow it.
struct ExitRequest {
  int status;
};

// The single diagnostic line: "PROG: WHERE: KIND: MESSAGE", every line
// end within them (those of the converter's output protocol) made a blank.
std::string diagnostic(const std::string& program, const Failure& failure);

// Writes the diagnostic on standard error, if that stream takes it; used
// by the entry and for a failure that cannot travel to it (one on the
// detached worker). Without memory for the line, it is written cut short
// from fixed storage.
void report_failure_on_stderr(const Failure& failure) noexcept;

// The same line from fixed storage, cut at a fixed length: for when
// nothing may be allocated (a crash, exhausted memory).
void report_without_allocating(const char* where, const char* kind, const char* message) noexcept;

// Keeps the program name that report_without_allocating gives, in fixed
// storage (cut at a fixed length).
void keep_program_name_for_reports(std::string_view program) noexcept;

// Inside a catch handler: the exception being handled as a Failure of
// where, named by its type ("std::runtime_error") with what() as its
// message. For an exception that a component module lets out across the
// C interface, and for anything else that reaches the entry.
Failure failure_of_thrown(const char* where);

// The one place where failures end: runs body and turns whatever it throws
// into a diagnostic on standard error and an exit status: 0 when it
// returns, an ExitRequest's own status, 1 for anything else. Nothing is
// left to std::terminate.
int exit_status_of(const std::function<void()>& body) noexcept;

// The readable name of an exception's dynamic type ("std::bad_alloc").
std::string exception_kind(const std::type_info& type);

}  // namespace tolvane
