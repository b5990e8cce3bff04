// What the launcher knows of its own process: the invocation path (element
// 0 of the argument vector, the executable's full path as the system
// reports it), the program name derived from it, and where the executable
// file really lies.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

// How every Tolvane program starts: named after the typed word until the
// system has said which file runs, crashes reported from then on, element
// 0 of words made the executable's full path, the process prepared.
void start_up(std::vector<std::string>& words);

void set_invocation_path(std::string path);
const std::string& invocation_path();
// The file name of the invocation path, as the texts name the program.
std::string program_name();

// The launcher's own directory, in the three meanings it needs:
// - as invoked: the invocation path made absolute by its text, then its
//   directory; links stay as they are. The tool-executable form finds its
//   tools and settings here.
std::string invocation_directory();
// - as it is: the directory of the executable file's final path, a link
//   to the file and links above it followed. The solver directory and the
//   component modules lie here.
const std::string& program_directory();
// - the same in its short (8.3) spelling where the volume keeps one: the
//   in-process form's root_dir.
const std::string& short_program_directory();

}  // namespace tolvane
