// The validator's parent side: which runs a layout needs, each made in a
// child process of its own (or here, with --in-process), watched from
// outside for what a run cannot say itself (a crash, an exit, a hang, a
// process left running), and the tally of what they said.
#pragma once

#include <string>
#include <vector>

#include "options.hpp"

namespace tolvane::check {

// Checks the layout as the options say; the exit status.
int check_layout(const Options& options);

// Names the run that a child process of the validator is to make, and how.
inline constexpr const char* run_variable = "TOLVANE_CHECK_RUN";

// In a run's child process: makes the run that spec (the value of
// run_variable) names; words are its own, [program, deck, maybe -nogui].
int run_child(const std::string& spec, const std::vector<std::string>& words);

}  // namespace tolvane::check
