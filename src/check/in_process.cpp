#include "in_process.hpp"

#include <mutex>
#include <string>
#include <vector>

#include "../os.hpp"
#include "../platform/console.hpp"
#include "../platform/exit_watch.hpp"
#include "protocol.hpp"
#include "runs.hpp"
#include "verdicts.hpp"

namespace tolvane::check {

namespace {

// A run's report, straight into the tally; it keeps the calls in progress
// for an end that comes in one of them.
class TallyReport final : public RunReport {
 public:
  TallyReport(Tally& tally, std::span<const Check* const> chosen, bool only_failed)
      : tally_(tally), chosen_(chosen), only_failed_(only_failed) {}

  void start(const Run& run, const std::string& label, const RunSetting& setting) {
    const std::lock_guard<std::mutex> lock(mutex_);
    run_ = &run;
    label_ = label;
    setting_ = &setting;
  }

  void calling(const char* where) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    in_progress_.push_back(where);
    last_call_ = where;
  }
  void returned(const char* where) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = in_progress_.rbegin(); it != in_progress_.rend(); ++it)
      if (*it == where) {
        in_progress_.erase(std::next(it).base());
        break;
      }
  }
  void chain_ended() override {}
  void verdict(const Check& check, const Verdict& verdict) override {
    tally_.add(check, label_, verdict);
  }
  void ended() override {}
  void gave_up() override { say_all(); }

  // The process is ending under a run: the call it ends in fails.
  void ending() noexcept {
    // Another thread may have held the lock as it went.
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    const std::string where = !in_progress_.empty() ? in_progress_.back() : last_call_;
    if (run_ != nullptr) {
      const Check* check = check_of_call(run_->form, where);
      if (check == nullptr || !concerns_layout(*check, *setting_)) check = chosen_.front();
      tally_.add(
          *check, label_,
          failed((where.empty() ? "the run" : where) + " ended the process", ended_process_fix()));
    }
    say_all();
  }

 private:
  void say_all() {
    platform::write_text_if_possible(platform::Stream::out, tally_.text(chosen_, only_failed_));
  }

  Tally& tally_;
  std::span<const Check* const> chosen_;
  bool only_failed_;
  std::mutex mutex_;
  const Run* run_ = nullptr;
  std::string label_;
  const RunSetting* setting_ = nullptr;
  std::vector<std::string> in_progress_;
  std::string last_call_;
};

TallyReport* current = nullptr;

}  // namespace

InProcessRuns::InProcessRuns(Tally& tally, std::span<const Check* const> chosen, bool only_failed) {
  // Outlives this object: a component's thread may end the process later.
  current = new TallyReport(tally, chosen, only_failed);
  platform::watch_exits([]() noexcept { current->ending(); });
}

InProcessRuns::~InProcessRuns() { platform::arm_exit_watch(false); }

void InProcessRuns::run(const Run& run, const std::string& label, const RunSetting& setting) {
  // Each run from the folder the validator started in, as a child's would.
  const std::string start = os::getcwd();
  current->start(run, label, setting);
  platform::arm_exit_watch(true);
  run_here(run, setting, *current);
  os::chdir(start);
}

}  // namespace tolvane::check
