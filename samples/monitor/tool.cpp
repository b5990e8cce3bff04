// monitor.exe MODEL -setting FILE
#include "console.hpp"

int samples::tool_main(const std::vector<std::string>& args) {
  if (args.size() != 4 || args[2] != "-setting") {
    print_line(Stream::err, "usage: monitor MODEL -setting FILE");
    return 2;
  }
  print_line(Stream::out, "monitor: model " + args[1]);
  print_line(Stream::out, "monitor: setting " + args[3]);
  return 0;
}
