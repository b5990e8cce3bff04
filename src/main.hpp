// The launcher object: the three paths the entry derives, the component
// form chosen from the invocation path, and the two pipelines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The path and directory operations that the pipelines use.
#include "os.hpp"

namespace tolvane {

class Tolvane {
 public:
  Tolvane(std::string inp_path, std::string dir_path, std::string exepath);

  // The in-process pipeline: the components are modules loaded into this
  // process (components.hpp).
  void python_exe();
  // The tool-executable pipeline: the components are executables in
  // "tools" beside the launcher, run as child processes.
  void file_exe();
  // Runs the pipeline that exe_type selects. (Not the program's main: its
  // failures travel on to the entry.)
  void main();  // NOLINT(bugprone-exception-escape)

  std::string inp_path;  // the input deck: absolute, ending in deck_suffix
  std::string dir_path;  // the folder that holds the input deck
  std::string exepath;   // the solver folder, "FrontISTR-DEV250506" beside the launcher
  std::string exe_type;  // the component form: "exe_file" or "python"
  // Set by the pipeline before it starts any component.
  std::optional<std::string> root_dir;
  std::optional<std::string> setting;
};

// The input deck's suffix, which inp_path always ends in.
inline constexpr std::string_view deck_suffix = ".inp";

// The model path: inp_path less its final deck_suffix.
std::string model_path_of(const std::string& inp_path);

}  // namespace tolvane
