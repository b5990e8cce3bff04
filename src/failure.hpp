// The launcher's failure vocabulary, pure and at the bottom of the house.
// A Failure names where it arose, its kind and a message; an ExitRequest
// carries a status and prints nothing. Both travel untouched to the entry,
// which alone turns them into a diagnostic and an exit status
// (diagnostics.hpp). A SystemError is what the system said of a failed
// call: the platform layer gives it, and the layer above it makes it the
// launcher's Failure.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <typeinfo>
#include <utility>

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

// What the system said of a call that failed: the call, as what it was
// given ("chdir('/jobs/beam')"); the system's code and its own words; the
// file concerned, which fills the words' "%1"; and what the code stands
// for, as far as the launcher tells codes apart.
struct SystemError {
  enum class Reason { not_found, not_a_folder, permission, broken_pipe, other };
  std::string api;
  unsigned long code = 0;
  std::string text;
  std::string subject;
  Reason reason = Reason::other;
};

// A value, or what the system said of the call that could not give it.
template <class T>
class SystemResult {
 public:
  SystemResult(T value) : value_(std::move(value)) {}
  SystemResult(SystemError error) : error_(std::move(error)) {}
  explicit operator bool() const noexcept { return value_.has_value(); }
  T& operator*() { return *value_; }
  const SystemError& error() const { return *error_; }

 private:
  std::optional<T> value_;
  std::optional<SystemError> error_;
};

// "API failed: TEXT (error CODE)", the system's text with its trailing
// line break and full stop removed, its first insert filled with the
// subject and the others dropped.
std::string describe(const SystemError& error);

// The kind of failure that a reason stands for ("FileNotFoundError", ...).
const char* kind_of(SystemError::Reason reason);

// The launcher's failure of a failed call, described, of the reason's kind
// or of kind.
Failure system_failure(std::string where, const SystemError& error);
Failure system_failure(std::string where, std::string kind, const SystemError& error);

// The value of a call, or its failure as where's.
template <class T>
T value_or_failure(std::string where, SystemResult<T> result) {
  if (!result) throw system_failure(std::move(where), result.error());
  return std::move(*result);
}

// Deliberately not a std::exception, so that no handler written for
// errors can swallow it.
struct ExitRequest {
  int status;
};

// Inside a catch handler: the exception being handled as a Failure of
// where, named by its type ("std::runtime_error") with what() as its
// message. For an exception that a component module lets out across the
// C interface, and for anything else that reaches the entry.
Failure failure_of_thrown(const char* where);

// The readable name of an exception's dynamic type ("std::bad_alloc").
std::string exception_kind(const std::type_info& type);

}  // namespace tolvane
