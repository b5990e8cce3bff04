// Process entry of the tool executables: hands tool_main the arguments
// as UTF-8, whatever the platform delivers.
#include <exception>
#include <string>
#include <vector>

#include "console.hpp"

namespace {

int run(const std::vector<std::string>& args) {
  try {
    return samples::tool_main(args);
  } catch (const std::exception& e) {
    samples::print_line(samples::Stream::err, std::string("error: ") + e.what());
    return 1;
  }
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(samples::utf8_from_wide(argv[i]));
  return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv, argv + argc)); }
#endif
