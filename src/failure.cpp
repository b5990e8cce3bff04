#include "failure.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

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

const char* kind_of(SystemError::Reason reason) {
  switch (reason) {
    case SystemError::Reason::not_found: return kind::not_found;
    case SystemError::Reason::not_a_folder: return kind::not_a_directory;
    case SystemError::Reason::permission: return kind::permission;
    case SystemError::Reason::broken_pipe: return kind::broken_pipe;
    case SystemError::Reason::other: return kind::system;
  }
  return kind::system;
}

std::string describe(const SystemError& error) {
  std::string text = fill_inserts(error.text, error.subject);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return error.api + " failed: " + text + " (error " + std::to_string(error.code) + ")";
}

Failure system_failure(std::string where, std::string kind, const SystemError& error) {
  return Failure(std::move(where), std::move(kind), describe(error));
}

Failure system_failure(std::string where, const SystemError& error) {
  return system_failure(std::move(where), kind_of(error.reason), error);
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

std::string exception_kind(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace tolvane
