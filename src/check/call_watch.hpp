// The calls that a run has in progress, each reported as it begins and as
// it returns, and a watchdog around them: a call that takes longer than
// the time limit fails its check, and the process ends with status 1, as
// the launcher would never end.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "check.hpp"
#include "protocol.hpp"

namespace tolvane::check {

class CallWatch {
 public:
  CallWatch(Form form, const RunSetting& setting, RunReport& report);
  void begun(const char* where);
  void ended(const char* where);

 private:
  struct State;
  std::shared_ptr<State> state_;  // shared with the watchdog, which outlives the run
};

}  // namespace tolvane::check
