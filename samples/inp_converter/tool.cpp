// inp_converter.exe DECK: the launcher reads the heading from the last
// line of standard output, decoded in the active ANSI code page.
#include "console.hpp"
#include "deck.hpp"

int samples::tool_main(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    print_line(Stream::err, "usage: inp_converter DECK", Encoding::ansi);
    return 2;
  }
  const auto heading = convert_deck(args[1], Encoding::ansi);
  if (!heading) return 1;
  print_line(Stream::out, "header:" + *heading, Encoding::ansi);
  return 0;
}
