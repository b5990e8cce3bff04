// A run of the in-process form: the launcher's python_exe on the layout's
// modules (stand-ins for those it lacks), watched call by call. A check
// passes once the chain has gone past its step; the first failure ends
// the run, as it ends the launcher.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "../chain_observer.hpp"
#include "../failure.hpp"
#include "../heading.hpp"
#include "../main.hpp"
#include "../platform/file_system.hpp"
#include "../platform/interrupts.hpp"
#include "../utf.hpp"
#include "call_watch.hpp"
#include "runs.hpp"
#include "stand_ins.hpp"
#include "verdicts.hpp"

namespace tolvane::check {

namespace {

using namespace std::chrono_literals;
using Clock = platform::Clock;

// How long the launcher may still run once its chain has returned: after
// done, up to its one-second poll, the monitor's release and its end;
// after monitor_main, the release and its end.
constexpr auto unattended_afterlife = 1500ms;
constexpr auto attended_afterlife = 500ms;

bool is_done(const tolvane_monitor& monitor) {
  return tolvane_flag_load(const_cast<std::int32_t*>(&monitor.done)) != 0;
}

class ModuleWatch final : public ChainObserver {
 public:
  ModuleWatch(const Run& run, const RunSetting& setting, RunReport& report)
      : run_(run), setting_(setting), report_(report), calls_(Form::modules, setting, report) {}

  void calling(const char* where) override {
    calls_.begun(where);
    const std::string_view at = where;
    if (at == "CONVERTER")  // all three are bound
      for (const char* name : {"converter.module", "editor.module", "monitor.module"})
        decide(name, passed());
    if (at == "CONVERTER.main") decide("converter.create", passed());
    if (at == "EDITOR.editor") decide("editor.create", passed());
    if (at == "MONITOR") decide("model.folder", model_folder_verdict());
    if (at == "MONITOR.monitor_main" || at == "MONITOR.nogui_mode")
      decide("monitor.create", passed());
    if (at == "MONITOR.nogui_mode") unattended_mode_ = true;
    if (at == "MONITOR.release") release_called_ = true;
  }

  void returned(const char* where, const CallResult& result) override {
    calls_.ended(where);
    const std::string_view at = where;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      outcomes_[std::string(at)] = result.outcome;
    }
    if (at == "MONITOR.run_process") {
      run_process_returned_ = true;
      if (result.failure)
        decide("monitor.unattended",
               result.outcome.threw
                   ? verdict_of_call(*result.failure, result.outcome, false)
                   : warned("MONITOR.run_process failed (" + said(*result.failure) +
                                "): the launcher reports it on standard error, and the run "
                                "still ends with status 0 once done is set",
                            "report a failure of the run where its user sees it; the launcher "
                            "cannot pass it on" +
                                see("Monitor: entry MONITOR")));
      return;
    }
    if (result.failure) return;  // the chain fails with it
    if (at == "CONVERTER.release") decide("converter.release", passed());
    if (at == "EDITOR.editor") decide("editor.editor", passed());
    if (at == "EDITOR.root.destroy") decide("editor.root", passed());
    if (at == "EDITOR.release") decide("editor.release", passed());
    if (at == "MONITOR.monitor_main") decide("monitor.attended", passed());
    if (at == "MONITOR.release") decide("monitor.release", passed());
    if (at == "MONITOR.signal_handler" && ++handler_calls_ == 1 && run_.interrupts)
      platform::record_interrupt();  // pressed a second time
  }

  void headed(const std::optional<std::string>& heading) override {
    decide("converter.main", passed());
    decide("converter.heading", heading_verdict(heading));
  }

  void unattended(const tolvane_monitor& monitor) override {
    done_in_nogui_mode_ = is_done(monitor);
  }

  void waiting(const tolvane_monitor& monitor) override {
    const auto now = Clock::now();
    if (!wait_began_) {
      wait_began_ = now;
      if (run_.interrupts) platform::record_interrupt();
    }
    if (!is_done(monitor) && now - *wait_began_ >= setting_.timeout)
      throw Stop{find_check("monitor.unattended"), done_verdict()};
  }

  // After the chain has returned: watch as long as the launcher could
  // still run, then decide what only the end tells.
  void afterlife() {
    const bool release_over = decided("monitor.release");
    std::this_thread::sleep_for(unattended_mode_ ? unattended_afterlife : attended_afterlife);
    if (unattended_mode_) {
      decide("monitor.unattended",
             done_in_nogui_mode_
                 ? warned("nogui_mode set done, which the launcher writes 0 to when nogui_mode "
                          "returns; only a later store ended the wait",
                          done_fix())
                 : passed());
      if (run_.interrupts)
        decide("monitor.signal_handler", handler_calls_ >= 2
                                             ? passed("called twice")
                                             : passed("the run ended before Ctrl-C reached it"));
    } else {
      decide("monitor.attended", passed());
      if (run_.nogui)
        decide("monitor.unattended", passed("the monitor chose the attended mode with -nogui too: "
                                            "its unattended mode is not checked"));
      if (run_.interrupts)
        decide("monitor.signal_handler",
               passed("the monitor chose the attended mode: signal_handler is not called"));
    }
    if (!release_over)
      decide("monitor.release",
             release_called_
                 ? warned("MONITOR.release did not return within the 0.5 s the launcher gives "
                          "it once the monitor's work is over; the run ended without it",
                          "give the monitor back at once: whatever release does after that is "
                          "lost" +
                              see("How calls go"))
                 : passed("not called: run_process still ran when the launcher ended"));
  }

  // The verdict of the failure the chain ended with.
  void failed_with(const Failure& failure) {
    if (failure.kind() == kind::interrupted && failure.where() == "python_exe") throw failure;
    const std::string& where = failure.where();
    const Check* check = check_of_call(Form::modules, where);
    if (check == nullptr) check = find_check("monitor.create");
    CallOutcome outcome;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (const auto found = outcomes_.find(where); found != outcomes_.end())
        outcome = found->second;
    }
    decide(check->name, verdict_of_module_failure(failure, outcome));
  }

  void decide(const std::string& name, const Verdict& verdict) {
    const Check* check = find_check(name);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!concerns_layout(*check, setting_) || !decided_.insert(name).second) return;
    }
    report_.verdict(*check, verdict);
  }

 private:
  bool decided(const std::string& name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return decided_.count(name) != 0;
  }

  Verdict model_folder_verdict() const {
    if (!stand_in_made_model_folder()) return passed();
    return warned("the converter made no model folder, and this run's stand-in editor made it",
                  paired_editor_fix());
  }

  Verdict done_verdict() const {
    std::string seen = run_process_returned_ ? "run_process returned, but done stayed 0 for "
                                             : "done stayed 0 for ";
    seen += seconds_text(setting_.timeout);
    if (!run_process_returned_) seen += " while run_process ran";
    if (done_in_nogui_mode_)
      seen += ": nogui_mode set done, but the launcher writes 0 to done when nogui_mode returns";
    return failed(seen, done_fix());
  }

  const Run& run_;
  const RunSetting& setting_;
  RunReport& report_;
  CallWatch calls_;
  std::mutex mutex_;
  std::set<std::string> decided_;
  std::map<std::string, CallOutcome> outcomes_;
  std::atomic<bool> run_process_returned_{false};
  std::atomic<bool> release_called_{false};
  bool unattended_mode_ = false;
  bool done_in_nogui_mode_ = false;
  int handler_calls_ = 0;
  std::optional<Clock::time_point> wait_began_;
};

}  // namespace

void run_modules(const Run& run, const RunSetting& setting, RunReport& report) {
  // Both outlive the run: the worker and a late release still report.
  auto* watch = new ModuleWatch(run, setting, report);
  const std::string folder = os::path::realpath(setting.dir);
  auto* modules = new LayoutModules(folder, setting, run.nogui, watch);
  ChainSetup chain;
  chain.program_folder = folder;
  chain.invocation_folder = setting.dir;
  chain.modules = modules;
  chain.observer = watch;
  Tolvane launcher(setting.deck, os::path::dirname(setting.deck),
                   os::path::join(folder, solver_folder), std::move(chain));
  try {
    launcher.python_exe();
    report.chain_ended();
    watch->afterlife();
  } catch (const Stop& stop) {
    watch->decide(stop.check->name, stop.verdict);
  } catch (const ExitRequest&) {
    watch->decide(
        "converter.main",
        failed("CONVERTER.main set dflag for the deck: the conversion failed, and the "
               "launcher stops with status 1",
               "leave dflag 0 when the conversion succeeds; " + deck_path_fix(Form::modules) +
                   "; check your own deck with --deck FILE"));
  } catch (const Failure& failure) {
    watch->failed_with(failure);
  }
  report.ended();
}

}  // namespace tolvane::check
