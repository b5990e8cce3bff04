// The launcher's entry: the start-up, the command line, the three paths,
// the launcher object, and the one place where failures become a
// diagnostic and an exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tolvane {

// words: the process's argument words as the system split them, UTF-8.
// Prepares the process, then runs the launcher; returns the exit status.
int entry(std::vector<std::string> words);

// Runs body and turns whatever it throws into a diagnostic on standard
// error and an exit status: 0 when it returns, an ExitRequest's own
// status, 1 for anything else. Nothing is left to std::terminate.
int exit_status_of(const std::function<void()>& body) noexcept;

}  // namespace tolvane
