// The path and directory operations that the pipelines use, under the
// names their steps give them: os::getcwd, os::chdir and os::path::join,
// dirname, splitext, abspath and realpath. Qualified, so that none is
// taken for the C library's function of the same name: these work on
// UTF-8 text in the platform's path flavour, and a failure throws.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "paths.hpp"
#include "platform/file_system.hpp"

namespace tolvane::os {

inline std::string getcwd() { return platform::current_directory(); }
inline void chdir(const std::string& p) { platform::change_directory(p); }

namespace path {

inline std::string join(std::string_view a, std::string_view b) {
  return paths::join(platform::path_flavour, a, b);
}
inline std::string dirname(std::string_view p) { return paths::dirname(platform::path_flavour, p); }
inline std::pair<std::string, std::string> splitext(std::string_view p) {
  return paths::splitext(platform::path_flavour, p);
}
inline std::string abspath(const std::string& p) { return platform::absolute_path(p); }
inline std::string realpath(const std::string& p) { return platform::final_path(p); }

}  // namespace path
}  // namespace tolvane::os
