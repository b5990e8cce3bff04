// res2frd.exe RESULT...: stands in for the result converter.
#include "console.hpp"

int samples::tool_main(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    print_line(Stream::out, "res2frd: nothing to convert");
    return 0;
  }
  for (std::size_t i = 1; i < args.size(); ++i)
    print_line(Stream::out, "res2frd: would convert " + args[i] + " to .frd");
  return 0;
}
