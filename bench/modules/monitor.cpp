// Monitor of the unattended bench: always unattended. run_process() works
// (sleeps) for $TOLVANE_BENCH_WORK_SECONDS (default 10) and then writes the
// steady clock's reading in seconds (CLOCK_MONOTONIC, as Python's
// time.monotonic()) to $TOLVANE_BENCH_DONE_FILE just before it sets done,
// so the script can tell how long the launcher took to notice.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "tolvane/component.hpp"

namespace {

double work_seconds() {
  const char* text = std::getenv("TOLVANE_BENCH_WORK_SECONDS");
  if (text == nullptr || *text == '\0') return 10.0;
  return std::strtod(text, nullptr);
}

class Monitor final : public tolvane::component::Monitor {
 public:
  Monitor(const std::string&, const std::string&, const void*) { nogui = true; }

  void nogui_mode() override {}

  void run_process() override {
    std::this_thread::sleep_for(std::chrono::duration<double>(work_seconds()));
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    if (const char* file = std::getenv("TOLVANE_BENCH_DONE_FILE"); file && *file) {
      if (std::FILE* out = std::fopen(file, "w")) {
        std::fprintf(out, "%.9f\n", std::chrono::duration<double>(now).count());
        std::fclose(out);
      }
    }
    done = true;
  }

  void signal_handler(int) override { done = true; }

  void monitor_main() override {}
};

}  // namespace

TOLVANE_EXPORT_MONITOR(Monitor);
