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

// Runs the chain of the run's form.
inline void run_here(const Run& run, const RunSetting& setting, RunReport& report) {
  if (run.form == Form::modules)
    run_modules(run, setting, report);
  else
    run_tools(run, setting, report);
}

}  // namespace tolvane::check
