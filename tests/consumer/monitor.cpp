// The monitor in C++: unattended when CONSUMER_NOGUI is set; its worker
// works for CONSUMER_WORK_MS (default 200) on a thread of its own, which
// sets done, unless an interrupt sets it first.
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include <tolvane/component.hpp>

#include "common.h"

class Monitor final : public tolvane::component::Monitor {
 public:
  Monitor(const std::string& model_path, const std::string& setting, const void* parent) {
    say("MONITOR", model_path.c_str(), parent ? "parent" : setting.c_str());
    nogui = std::getenv("CONSUMER_NOGUI") != nullptr;
  }
  ~Monitor() override {
    if (helper_.joinable()) helper_.detach();
  }
  void nogui_mode() override { say("MONITOR.nogui_mode", res2frd_path.c_str(), nullptr); }
  void run_process() override {
    say("MONITOR.run_process", nullptr, nullptr);
    const char* work = std::getenv("CONSUMER_WORK_MS");
    const long ms = work ? std::atol(work) : 200;
    // done may come from any thread: here from one of the monitor's own.
    helper_ = std::thread([this, ms] {
      for (long left = ms; left > 0 && !done; left -= 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      done = true;
    });
  }
  void signal_handler(int signum) override {
    say("MONITOR.signal_handler", std::to_string(signum).c_str(), nullptr);
    done = true;
  }
  void monitor_main() override {
    say("MONITOR.monitor_main", res2frd_path.c_str(), nullptr);
    if (asked_to_fail("MONITOR.monitor_main")) throw std::runtime_error("the user went home");
  }

 private:
  std::thread helper_;
};
TOLVANE_EXPORT_MONITOR(Monitor);
