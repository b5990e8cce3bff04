// editor.exe DECK SOLVER_DIR -setting FILE -header HEADING
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
  return 0;
}
