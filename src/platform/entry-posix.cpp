// Process entry for POSIX builds: the process is prepared and element 0
// becomes the running executable's full path before the launcher runs.

#include <string>
#include <vector>

#include "../Tolvane.hpp"
#include "process.hpp"

int main(int argc, char** argv) {
  const int status = tolvane::entry([&] {
    tolvane::platform::prepare_process();
    std::vector<std::string> words(argv, argv + argc);
    if (words.empty()) words.emplace_back();
    words[0] = tolvane::platform::executable_path();
    return words;
  });
  tolvane::platform::end_process(status);
}
