// A run in this process: the launcher's pipeline of the run's form on the
// layout, with a watch on every step that reports each check it reaches.
#pragma once

#include "check.hpp"
#include "protocol.hpp"

namespace tolvane::check {

// Runs the in-process chain; what it reaches goes to report.
void run_modules(const Run& run, const RunSetting& setting, RunReport& report);
// Runs the tool chain (or, for the missing-deck run, the converter alone).
void run_tools(const Run& run, const RunSetting& setting, RunReport& report);

}  // namespace tolvane::check
