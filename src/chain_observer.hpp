// What watches a run of the chain: the validator (src/check/) reports
// each step of the launcher's own pipelines through it; the launcher runs
// without one. A hook runs on the thread that takes the step, and changes
// nothing of the run, but that a hook on the main thread may end it by
// throwing (the validator stops a run that broke the contract there).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <tolvane/component.h>

#include "component_calls.hpp"
#include "tool_runs.hpp"

namespace tolvane {

class ChainObserver {
 public:
  virtual ~ChainObserver() = default;

  // A call into a component (where names it, as a diagnostic would) or a
  // tool's run is about to begin. Also on the monitor's worker thread.
  virtual void calling(const char* /*where*/) {}
  // The call has returned, with what it came to, before the pipeline acts
  // on it. Also on the worker, where it must not throw.
  virtual void returned(const char* /*where*/, const CallResult& /*result*/) {}

  // In-process: the converter's heading as the editor will get it.
  virtual void headed(const std::optional<std::string>& /*heading*/) {}
  // In-process: nogui_mode has returned; done is not yet written.
  virtual void unattended(const tolvane_monitor& /*monitor*/) {}
  // In-process: the wait for done is about to sleep, as it does once a
  // second and after each call of signal_handler.
  virtual void waiting(const tolvane_monitor& /*monitor*/) {}

  // Tool form: bytes of the converter's output, as they come.
  virtual void tool_output(std::string_view /*bytes*/) {}
  // Tool form: the converter has ended, and what it wrote came to this.
  virtual void converted(const ConverterResult& /*result*/) {}
  // Tool form: the editor or the monitor has ended with this exit code.
  virtual void tool_ended(const char* /*where*/, std::uint32_t /*exit_code*/) {}
};

// The observer of a run that nobody watches: the launcher's own.
inline ChainObserver& nobody_watching() {
  static ChainObserver nobody;
  return nobody;
}

}  // namespace tolvane
