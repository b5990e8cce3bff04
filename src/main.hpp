// The launcher object: the three paths the entry derives, the component
// form chosen from the invocation path, and the two pipelines.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "component_kinds.hpp"
// The path and folder operations that the pipelines use.
#include "os.hpp"

namespace tolvane {

class ChainObserver;
class SymbolSource;

// Where the pipelines find the components and what watches them. The
// launcher's own: its folder and nothing watching. The validator points a
// launcher object at the layout it checks, with stand-ins for what the
// layout lacks, and watches every step.
struct ChainSetup {
  // The launcher's folder as it is, links resolved: the modules, and the
  // in-process form's settings file and result converter.
  std::string program_folder;
  // The launcher's folder as invoked: the tool form's tools and settings.
  std::string invocation_folder;
  // Where the entries come from; null: the modules in program_folder.
  SymbolSource* modules = nullptr;
  // The program that plays a tool; empty: tools/<its file> in
  // invocation_folder.
  std::function<std::string(const ComponentKind&)> tool_program;
  ChainObserver* observer = nullptr;
  // The time each tool may take; none: as long as it runs.
  std::optional<std::chrono::milliseconds> tool_limit;

  // The launcher's own, from where its executable lies.
  static ChainSetup of_this_program();
};

class Tolvane {
 public:
  // chain: where the components are found and what watches them.
  Tolvane(std::string inp_path, std::string dir_path, std::string exepath,
          ChainSetup chain = ChainSetup::of_this_program());

  // The in-process pipeline: the components are modules loaded into this
  // process (module_chain.cpp).
  void python_exe();
  // The tool-executable pipeline: the components are executables in
  // "tools" beside the launcher, run as child processes (tool_chain.cpp).
  void file_exe();
  // Runs the pipeline that exe_type selects. (Not the program's main: its
  // failures travel on to the entry.)
  void main();  // NOLINT(bugprone-exception-escape)

  std::string inp_path;  // the input deck: absolute, ending in deck_suffix
  std::string dir_path;  // the folder that holds the input deck
  std::string exepath;   // the solver folder, solver_folder beside the launcher
  std::string exe_type;  // the component form: "exe_file" or "python"
  // Set by the pipeline before it starts any component.
  std::optional<std::string> root_dir;
  std::optional<std::string> setting;

 private:
  ChainSetup chain;
};

}  // namespace tolvane
