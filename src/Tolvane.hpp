// The launcher's entry: the command line, the three paths, the launcher
// object, and the one place where failures become a diagnostic and an
// exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tolvane {

// start_up prepares the process and gives its argument words, element 0
// the executable's full path. Returns the exit status.
int entry(const std::function<std::vector<std::string>()>& start_up);

}  // namespace tolvane
