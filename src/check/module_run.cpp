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

  void headed(const std::optional<std::string>& header) override {
    decide("converter.main", passed());
    decide("converter.heading", heading_verdict(header));
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
    decide(check->name, verdict_of_failure(failure, outcome));
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

  static std::string said(const Failure& failure) {
    return failure.kind() + ": " + failure.message();
  }

  Verdict verdict_of_failure(const Failure& failure, const CallOutcome& outcome) const {
    const std::string& where = failure.where();
    if (failure.kind() == kind::binding) return binding_verdict(failure);
    if (where == "chdir")
      return failed(
          "the model folder does not exist once the editor has closed (" + said(failure) + ")",
          model_fix());
    if (where == "EDITOR.root")
      return failed("root is NULL, or has no destroy, after EDITOR.editor returned",
                    "set root to the editor's top-level window before editor() returns (in C++: "
                    "root = std::make_unique<...>())" +
                        see("Editor: entry EDITOR"));
    if (failure.kind() == kind::missing_attribute)
      return failed(failure.message(), "set every operation of its ops" + see("How calls go"));
    const bool entry = where == "CONVERTER" || where == "EDITOR" || where == "MONITOR";
    Verdict verdict = verdict_of_call(failure, outcome, entry);
    // The calls that are given the deck's path.
    const bool deck = where == "CONVERTER" || where == "CONVERTER.main" || where == "EDITOR" ||
                      where == "EDITOR.editor";
    if (deck && verdict.fix.starts_with("it must succeed"))
      verdict.fix += "; " + deck_path_fix(Form::modules);
    return verdict;
  }

  static Verdict binding_verdict(const Failure& failure) {
    const std::string& text = failure.message();
    const std::string binding = see("Binding");
    if (text.find("another major version") != std::string::npos)
      return failed(text, "rebuild it against a Tolvane SDK of interface " +
                              std::to_string(TOLVANE_INTERFACE_MAJOR) +
                              ".x, such as this one: this launcher takes no other" + binding);
    if (text.find("newer minor version") != std::string::npos)
      return failed(text, "rebuild it against this SDK (interface " +
                              std::to_string(TOLVANE_INTERFACE_MAJOR) + "." +
                              std::to_string(TOLVANE_INTERFACE_MINOR) +
                              "), or use it with a newer launcher" + binding);
    if (text.find("depends on is missing") != std::string::npos)
      return failed(text,
                    "put that library beside the module, or link it in statically (as "
                    "tolvane_add_component_module does for the runtime)" +
                        binding);
    return failed(text, "export and declare the entry as the message says" + binding);
  }

  Verdict model_folder_verdict() const {
    if (!stand_in_made_model_folder()) return passed();
    return warned("the converter made no model folder, and this run's stand-in editor made it",
                  "the editor you pair this converter with must make it, or the converter "
                  "must" +
                      see("Rules for every component"));
  }

  static std::string model_fix() {
    return "the converter or the editor must create it: the launcher creates none, and makes it "
           "the current folder before it creates the monitor" +
           see("Rules for every component");
  }

  static Verdict heading_verdict(const std::optional<std::string>& header) {
    const std::string where = see("Converter: entry CONVERTER");
    if (!header)
      return warned("heading is NULL after CONVERTER.main: the editor gets a null heading",
                    "set heading in main() (in C++: heading = \"...\")" + where);
    std::string ignored;
    utf::Utf8Validator validator;
    if (!validator.feed(*header, ignored) || !validator.finish())
      return failed("the heading is not valid UTF-8",
                    "text through the interface is UTF-8" + see("Rules for every component"));
    for (std::size_t i = 0; i < header->size(); ++i)
      if (line_end_at(*header, i) != 0)
        return failed("the heading holds a line end at byte " + std::to_string(i),
                      "a heading is one line: no line end could reach the editor of the tool "
                      "form either" +
                          where);
    return passed("\"" + *header + "\"");
  }

  std::string done_fix() const {
    return "set done when the unattended run is over, from run_process, signal_handler or any "
           "thread, and not before run_process has started: tolvane_flag_store(&self->done, 1); "
           "(in C++: done = true;)" +
           see("Monitor: entry MONITOR") + "; a longer run needs --timeout";
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

Verdict verdict_of_call(const Failure& failure, const CallOutcome& outcome, bool entry) {
  const std::string where = failure.where();
  const std::string said = failure.kind() + ": " + failure.message();
  const std::string calls = see("How calls go");
  if (outcome.threw)
    return failed(where + " let a C++ exception out across the C interface (" + said + ")",
                  "catch it and report it: return tolvane_fail(error, kind, message); the "
                  "classes of component.hpp do that" +
                      calls);
  if (outcome.succeeded && outcome.reported)
    return failed(where + " reported a failure (" + said + ") and " +
                      (entry ? "returned an object" : "returned TOLVANE_OK"),
                  std::string(entry ? "return NULL when it fails"
                                    : "a reported failure is a failure: return "
                                      "tolvane_fail(error, kind, message);") +
                      calls);
  const std::string what = where + (entry ? " returned NULL" : " failed");
  if (!outcome.reported)
    return failed(what + " without saying why (" + said + ")",
                  "say why: return tolvane_fail(error, kind, message);" + calls);
  return failed(what + " (" + said + ")",
                "it must succeed for a valid deck; check yours with --deck FILE");
}

std::string deck_path_fix(Form form) {
  if (form == Form::modules)
    return "the deck's path holds a space and letters outside every ANSI code page: open it "
           "with tolvane_fopen (C) or name it with tolvane::component::fs_path (C++), never plain "
           "fopen" +
           see("Rules for every component");
  return "the deck's path holds a space and letters outside every ANSI code page: on Windows "
         "take the arguments with wmain (the WMAIN option of tolvane_add_component_tool), as a "
         "plain main gets them in the ANSI code page with '?' for the rest" +
         see("Rules for every component");
}

void run_modules(const Run& run, const RunSetting& setting, RunReport& report) {
  // Both outlive the run: the worker and a late release still report.
  auto* watch = new ModuleWatch(run, setting, report);
  const std::string folder = os::path::realpath(setting.dir);
  auto* modules = new LayoutModules(folder, setting, run.nogui, watch);
  Tolvane launcher(setting.deck, os::path::dirname(setting.deck),
                   os::path::join(folder, solver_folder));
  launcher.chain.program_folder = folder;
  launcher.chain.invocation_folder = setting.dir;
  launcher.chain.modules = modules;
  launcher.chain.observer = watch;
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
