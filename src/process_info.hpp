// What the launcher knows of its own process: the invocation path (element
// 0 of the argument vector, the executable's full path as the system
// reports it) and the program name derived from it.
#pragma once

#include <string>

namespace tolvane {

void set_invocation_path(std::string path);
const std::string& invocation_path();
// The file name of the invocation path, as the texts name the program.
std::string program_name();

// The single way a failure that cannot travel to the entry (one on a
// detached worker) is reported.
void report_failure_on_stderr(const class Failure& failure);

}  // namespace tolvane
