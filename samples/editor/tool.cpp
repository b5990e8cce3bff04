// editor.exe DECK SOLVER_DIR -setting FILE -header HEADING
// With SAMPLE_EDITOR_CANCEL set (to anything), the user cancels: the
// editor exits with status 1, and the launcher stops the chain with 2.
#include <cstdlib>

#include "console.hpp"

int samples::tool_main(const std::vector<std::string>& args) {
  if (args.size() != 7 || args[3] != "-setting" || args[5] != "-header") {
    print_line(Stream::err, "usage: editor DECK SOLVER_DIR -setting FILE -header HEADING");
    return 2;
  }
  print_line(Stream::out, "editor: deck " + args[1]);
  print_line(Stream::out, "editor: solver " + args[2]);
  print_line(Stream::out, "editor: setting " + args[4]);
  print_line(Stream::out, "editor: header " + args[6]);
  if (std::getenv("SAMPLE_EDITOR_CANCEL") != nullptr) {
    print_line(Stream::err, "editor: cancelled by the user");
    return 1;
  }
  return 0;
}
