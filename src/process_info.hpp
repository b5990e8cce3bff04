// What the launcher knows of its own process: the invocation path (element
// 0 of the argument vector, the executable's full path as the system
// reports it), which names the program in the diagnostics, and where the
// executable file really lies.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

// How every Tolvane program starts: named after the typed word until the
// system has said which file runs, crashes reported from then on, element
// 0 of words made the executable's full path, the process prepared.
void start_up(std::vector<std::string>& words);

// Also names the program in the diagnostics: the path's file name.
void set_invocation_path(std::string path);
const std::string& invocation_path();

// The launcher's own folder, in the two meanings it needs:
// - as invoked: the invocation path made absolute by its text, then its
//   folder; links stay as they are. The tool-executable form finds its
//   tools and settings here.
std::string invocation_folder();
// - as it is: the folder of the executable file's final path, a link
//   to the file and links above it followed. The solver folder and the
//   component modules lie here.
const std::string& program_folder();

}  // namespace tolvane
