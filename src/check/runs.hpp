// A run in this process: the launcher's pipeline of the run's form on the
// layout, with a watch on every step that reports each check it reaches.
#pragma once

#include "../component_calls.hpp"
#include "../failure.hpp"
#include "check.hpp"
#include "protocol.hpp"

namespace tolvane::check {

// Runs the in-process chain; what it reaches goes to report.
void run_modules(const Run& run, const RunSetting& setting, RunReport& report);
// Runs the tool chain (or, for the missing-deck run, the converter alone).
void run_tools(const Run& run, const RunSetting& setting, RunReport& report);

// The verdict of a call that failed, as the chain's failure and what the
// call came to tell it. Shared by both forms.
Verdict verdict_of_call(const Failure& failure, const CallOutcome& outcome, bool entry);

// What follows each fix about the deck that every run uses.
std::string deck_path_fix(Form form);

}  // namespace tolvane::check
