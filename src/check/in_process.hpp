// --in-process: every run in the validator's own process, for a debugger.
// What the parent watches a run's child for is watched here: a call that
// does not return (the run's own watchdog), and an exit(), _exit() or
// ExitProcess() of a component, each a FAIL line naming the check, then
// the other lines and the summary, and status 1.
#pragma once

#include <span>
#include <string>

#include "check.hpp"
#include "checks.hpp"
#include "report.hpp"

namespace tolvane::check {

class InProcessRuns {
 public:
  InProcessRuns(Tally& tally, std::span<const Check* const> chosen, bool only_failed);
  InProcessRuns(const InProcessRuns&) = delete;
  InProcessRuns& operator=(const InProcessRuns&) = delete;
  ~InProcessRuns();

  void run(const Run& run, const std::string& label, const RunSetting& setting);
};

}  // namespace tolvane::check
