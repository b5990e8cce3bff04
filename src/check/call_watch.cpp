#include "call_watch.hpp"

#include <thread>

#include "../platform/interrupts.hpp"
#include "../platform/process.hpp"
#include "../tool_runs.hpp"
#include "checks.hpp"
#include "verdicts.hpp"

namespace tolvane::check {

namespace {
using namespace std::chrono_literals;
using Clock = platform::Clock;
}  // namespace

struct CallWatch::State {
  Form form;
  std::chrono::milliseconds limit;
  RunReport* report;
  std::mutex mutex;
  std::multimap<std::string, Clock::time_point> in_progress;

  // Watches for ever: the process ends without waiting for it.
  void watch() {
    for (;;) {
      std::this_thread::sleep_for(50ms);
      const std::lock_guard<std::mutex> lock(mutex);
      for (const auto& [where, since] : in_progress)
        if (Clock::now() - since > limit) give_up(where);
    }
  }

  [[noreturn]] void give_up(const std::string& where) {
    const Check* check = check_of_call(form, where);
    if (check == nullptr)
      check = find_check(form == Form::modules ? "monitor.create" : "monitor-tool.run");
    report->verdict(*check,
                    failed(where + " did not return within " + seconds_text(limit), hung_fix()));
    report->gave_up();
    platform::end_process(1);
  }
};

CallWatch::CallWatch(Form form, const RunSetting& setting, RunReport& report)
    : state_(std::make_shared<State>()) {
  state_->form = form;
  // A tool has a limit of its own in the chain; this is its backstop.
  state_->limit = setting.timeout + (form == Form::tools ? 2000ms : 0ms);
  state_->report = &report;
  std::thread([state = state_] { state->watch(); }).detach();
}

void CallWatch::begun(const char* where) {
  state_->report->calling(where);
  // The launcher waits for neither: run_process has done to end the wait,
  // and the monitor's release a bound of its own.
  const std::string_view call = where;
  if (call == "MONITOR.run_process" || call == "MONITOR.release") return;
  const std::lock_guard<std::mutex> lock(state_->mutex);
  state_->in_progress.emplace(where, Clock::now());
}

void CallWatch::ended(const char* where) {
  {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    const auto found = state_->in_progress.find(where);
    if (found != state_->in_progress.end()) state_->in_progress.erase(found);
  }
  state_->report->returned(where);
}

}  // namespace tolvane::check
