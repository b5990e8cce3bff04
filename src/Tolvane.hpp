// A program's entry, which the platform's process entry calls with the
// argument words: for the launcher, its command line, the three paths and
// the launcher object.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

// words: the process's argument words as the system split them, UTF-8.
// Prepares the process, then runs the program; returns the exit status.
int entry(std::vector<std::string> words);

}  // namespace tolvane
