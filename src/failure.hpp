// The launcher's failure vocabulary. A Failure names where it arose, its
// kind and a message; an ExitRequest carries a status and prints nothing.
// Both travel untouched to the entry, which alone turns them into a
// diagnostic and an exit status.
#pragma once

#include <exception>
#include <string>

namespace tolvane {

namespace kind {
inline constexpr const char* not_found = "FileNotFoundError";
inline constexpr const char* system = "OSError";
inline constexpr const char* decode = "UnicodeDecodeError";
inline constexpr const char* bad_output = "ValueError";
inline constexpr const char* interrupted = "KeyboardInterrupt";
inline constexpr const char* binding = "ImportError";
inline constexpr const char* pipeline = "NotImplementedError";
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

// A failed system call: the API's name, the system's own text and its code.
Failure system_failure(std::string where, const std::string& api,
                       unsigned long code, const std::string& system_text);

// Deliberately not a std::exception, so that no handler written for
// errors can swallow it.
struct ExitRequest {
  int status;
};

// The single diagnostic line: "PROG: WHERE: KIND: MESSAGE".
std::string diagnostic(const std::string& program, const Failure& failure);

}  // namespace tolvane
