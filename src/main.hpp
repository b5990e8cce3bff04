// The launcher object: the three paths the entry derives, the component
// form chosen from the invocation path, and the two pipelines.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "paths.hpp"
#include "platform/file_system.hpp"

namespace tolvane {

class Tolvane {
 public:
  Tolvane(std::string inp_path, std::string dir_path, std::string exepath);

  // Components loaded into this process (entries of component modules).
  void python_exe();
  // Components as executables in "tools" beside the launcher.
  void file_exe();
  // Runs the pipeline that exe_type selects. (Not the program's main: its
  // failures travel on to the entry.)
  void main();  // NOLINT(bugprone-exception-escape)

  std::string inp_path;
  std::string dir_path;
  std::string exepath;
  std::string exe_type;  // "exe_file" or "python"
  // Set by the pipeline before it starts any component.
  std::optional<std::string> root_dir;
  std::optional<std::string> setting;
};

// The path helpers the pipelines use, in the platform's own flavour.
inline std::string join(std::string_view a, std::string_view b) {
  return paths::join(platform::path_flavour, a, b);
}
inline std::string dirname(std::string_view p) { return paths::dirname(platform::path_flavour, p); }
inline std::pair<std::string, std::string> splitext(std::string_view p) {
  return paths::splitext(platform::path_flavour, p);
}
inline std::string abspath(const std::string& p) { return platform::absolute_path(p); }
inline std::string realpath(const std::string& p) { return platform::final_path(p); }
inline std::string getcwd() { return platform::current_directory(); }
inline void chdir(const std::string& p) { platform::change_directory(p); }

// The model path: inp_path less its final ".inp".
std::string model_path_of(const std::string& inp_path);

}  // namespace tolvane
