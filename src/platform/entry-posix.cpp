// Process entry for POSIX builds: the argument words go to the launcher's
// entry as they are.

#include <string>
#include <vector>

#include "entry.hpp"
#include "process.hpp"

int main(int argc, char** argv) {
  tolvane::platform::end_process(tolvane::entry(std::vector<std::string>(argv, argv + argc)));
}
