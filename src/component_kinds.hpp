// The three kinds of component and every name the launcher finds them
// by, in both forms: the one place that knows the layout. The launcher
// and the validator read it; cmake/TolvaneComponents.cmake mirrors it for
// the build (its _tolvane_component_names says the same in CMake).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <tolvane/component.h>

namespace tolvane {

enum class Role { converter, editor, monitor };

struct ComponentKind {
  Role role;
  const char* name;  // "converter", as users and the checker's lines call it
  // The in-process form: the entry and the role that its declaration gives
  // in entry_kind, in the module "inp_converter.main", the file
  // inp_converter/main.<suffix>.
  const char* entry;
  std::uint32_t entry_kind;
  const char* module;
  const char* module_folder;
  const char* module_file;
  // Where a binding failure arose, as the diagnostic names it.
  const char* import_where;
  // The tool form: tools/<tool>, and the launcher's exit status when the
  // tool exits with any code but 0.
  const char* tool;
  int failed_status;
};

inline constexpr std::array<ComponentKind, 3> component_kinds{{
    {Role::converter, "converter", "CONVERTER", TOLVANE_ENTRY_CONVERTER, "inp_converter.main",
     "inp_converter", "main", "import CONVERTER from inp_converter.main", "inp_converter.exe", 1},
    {Role::editor, "editor", "EDITOR", TOLVANE_ENTRY_EDITOR, "editor.gui", "editor", "gui",
     "import EDITOR from editor.gui", "editor.exe", 2},
    {Role::monitor, "monitor", "MONITOR", TOLVANE_ENTRY_MONITOR, "monitor.gui", "monitor", "gui",
     "import MONITOR from monitor.gui", "monitor.exe", 3},
}};

constexpr const ComponentKind& kind_of(Role role) {
  return component_kinds[static_cast<std::size_t>(role)];
}

// The folder of the tool executables, and the files beside the launcher
// whose paths the chain hands on.
inline constexpr const char* tools_folder = "tools";
inline constexpr const char* settings_file = "session.xml";
inline constexpr const char* solver_folder = "FrontISTR-DEV250506";
inline constexpr const char* result_converter_folder = "exes";
inline constexpr const char* result_converter_file = "res2frd.exe";

// The input deck's suffix, which inp_path always ends in.
inline constexpr std::string_view deck_suffix = ".inp";

// The model path: inp_path less its final deck_suffix.
inline std::string model_path_of(const std::string& inp_path) {
  return inp_path.substr(0, inp_path.size() - deck_suffix.size());
}

}  // namespace tolvane
