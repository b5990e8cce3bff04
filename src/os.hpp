// The path and folder operations that the pipelines use, under the names
// their steps give them: os::getcwd, os::chdir and os::path::join,
// dirname, splitext, abspath and realpath; and os::setenv. Qualified, so that none is
// taken for the C library's function of the same name: these work on
// UTF-8 text in the platform's path flavour, and a failure throws the
// launcher's failure of what the system said.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "failure.hpp"
#include "paths.hpp"
#include "platform/console.hpp"
#include "platform/file_system.hpp"

namespace tolvane::os {

// Sets a variable of the environment that the children started from now
// on inherit; nullopt removes it.
inline void setenv(const char* name, const std::optional<std::string>& value) {
  if (auto refused = platform::set_environment(name, value)) throw system_failure(name, *refused);
}

inline std::string getcwd() { return value_or_failure("getcwd", platform::current_folder()); }
inline void chdir(const std::string& p) {
  if (auto refused = platform::change_folder(p)) throw system_failure("chdir", *refused);
}

namespace path {

inline std::string join(std::string_view a, std::string_view b) {
  return paths::join(platform::path_flavour, a, b);
}
inline std::string dirname(std::string_view p) { return paths::dirname(platform::path_flavour, p); }
inline std::pair<std::string, std::string> splitext(std::string_view p) {
  return paths::splitext(platform::path_flavour, p);
}
inline std::string abspath(const std::string& p) {
  return value_or_failure("abspath", platform::absolute_path(p));
}
inline std::string realpath(const std::string& p) {
  return value_or_failure("realpath", platform::final_path(p));
}

}  // namespace path
}  // namespace tolvane::os
