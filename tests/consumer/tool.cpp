// One tool executable for each role (CONSUMER_ROLE_*), in C++: it says how
// it was called, and the converter writes its header line.
#include <iostream>
#include <string>

#include "common.h"

int main(int argc, char** argv) {
  const std::string count = std::to_string(argc);
#if defined(CONSUMER_ROLE_CONVERTER)
  std::cout << "converting " << (argc > 1 ? argv[1] : "") << "\nheader:Beam from a C++ tool\n";
#elif defined(CONSUMER_ROLE_EDITOR)
  say("tool editor", count.c_str(), argc > 6 ? argv[6] : nullptr);
#else
  say("tool monitor", count.c_str(), argc > 1 ? argv[1] : nullptr);
#endif
  return 0;
}
