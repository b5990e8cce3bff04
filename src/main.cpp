#include "main.hpp"

#include <utility>

#include "process_info.hpp"

namespace tolvane {

ChainSetup ChainSetup::of_this_program() {
  ChainSetup setup;
  setup.program_folder = tolvane::program_folder();
  setup.invocation_folder = tolvane::invocation_folder();
  return setup;
}

Tolvane::Tolvane(std::string inp, std::string dir, std::string exe, ChainSetup setup)
    : inp_path(std::move(inp)),
      dir_path(std::move(dir)),
      exepath(std::move(exe)),
      chain(std::move(setup)) {
  exe_type = os::path::splitext(invocation_path()).second == ".exe" ? "exe_file" : "python";
}

void Tolvane::main() {  // NOLINT(bugprone-exception-escape): see main.hpp
  if (exe_type == "python")
    python_exe();
  else
    file_exe();
}

}  // namespace tolvane
