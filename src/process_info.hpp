// What the launcher knows of its own process: the invocation path (element
// 0 of the argument vector, the executable's full path as the system
// reports it), the program name derived from it, and where the executable
// file really lies.
#pragma once

#include <string>

namespace tolvane {

void set_invocation_path(std::string path);
const std::string& invocation_path();
// The file name of the invocation path, as the texts name the program.
std::string program_name();

// The directory of the executable file's final path: a link to the
// executable is followed, and so are links among the directories above it.
// The solver directory and the component modules lie here.
const std::string& program_directory();

}  // namespace tolvane
