// A program's entry, which the platform's process entry (entry-win32.cpp,
// entry-posix.cpp) calls with the argument words. Each program defines it
// above the platform: the launcher in Tolvane.cpp, the validator in
// check/check_main.cpp.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

// words: the process's argument words as the system split them, UTF-8.
// Prepares the process, then runs the program; returns the exit status.
int entry(std::vector<std::string> words);

}  // namespace tolvane
