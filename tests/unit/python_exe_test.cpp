// The in-process pipeline's monitor, with its threads: the worker, the
// interrupts it routes, the wait, here in the test's own process so that
// ThreadSanitizer (tests/CMakeLists.txt, unit_tsan) sees every access the
// launcher and the monitor share. The components are scripted.cpp's,
// linked into the test and steered as every test module is
// (tests/modules/steering.hpp); what they did comes back through their
// journal. The rest of the pipeline is tested end to end, with real
// libraries (tests/e2e/test_in_process.py).
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <tolvane/component.h>

#include "binding.hpp"
#include "failure.hpp"
#include "main.hpp"
#include "os.hpp"
#include "platform/process.hpp"
#include "process_info.hpp"
#include "send_interrupt.hpp"

// scripted.cpp's entries and declarations, linked into this test.
extern "C" {
tolvane_converter* CONVERTER(const char*, const char*, tolvane_error*);
tolvane_editor* EDITOR(const char*, const char*, tolvane_error*);
tolvane_monitor* MONITOR(const char*, const char*, const void*, tolvane_error*);
extern const tolvane_declaration tolvane_declaration_CONVERTER, tolvane_declaration_EDITOR,
    tolvane_declaration_MONITOR;
}

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class LinkedModules final : public SymbolSource {
 public:
  std::string module_name(const ComponentKind& kind) const override { return kind.module; }
  void* symbol(const ComponentKind& kind, const char* name) override {
    const std::string symbol = name;
    const bool declaration = symbol.starts_with("tolvane_declaration_");
    switch (kind.role) {
      case Role::converter:
        return declaration ? const_cast<tolvane_declaration*>(&tolvane_declaration_CONVERTER)
                           : reinterpret_cast<void*>(&CONVERTER);
      case Role::editor:
        return declaration ? const_cast<tolvane_declaration*>(&tolvane_declaration_EDITOR)
                           : reinterpret_cast<void*>(&EDITOR);
      case Role::monitor:
        return declaration ? const_cast<tolvane_declaration*>(&tolvane_declaration_MONITOR)
                           : reinterpret_cast<void*>(&MONITOR);
    }
    return nullptr;
  }
};

void set_env(const char* name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// One line of the components' journal.
struct Event {
  std::string call, folder, detail, thread;
};

class Monitor : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_cwd_ = os::getcwd();
    base_ =
        fs::temp_directory_path() /
        ("tolvane-python-exe-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base_);
    fs::create_directories(base_ / "start");
    fs::create_directories(base_ / "jobs");
    os::chdir((base_ / "start").string());
    set_invocation_path(value_or_failure("test", platform::executable_path()));
    set_env("TOLVANE_MISBEHAVE", "");
    set_env("TOLVANE_MISBEHAVE_NOGUI", "1");
    set_env("TOLVANE_MISBEHAVE_JOURNAL", (base_ / "journal").string());
  }
  void TearDown() override {
    set_env("TOLVANE_MISBEHAVE_JOURNAL", "");
    set_env("TOLVANE_MISBEHAVE", "");
    os::chdir(saved_cwd_);
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  Tolvane launcher() {
    ChainSetup chain = ChainSetup::of_this_program();
    chain.modules = &modules_;
    return Tolvane((base_ / "jobs" / "beam.inp").string(), (base_ / "jobs").string(),
                   "/opt/solver/FrontISTR-DEV250506", std::move(chain));
  }

  // Runs the pipeline; during runs on a helper thread meanwhile.
  std::chrono::duration<double> timed_run(const std::function<void()>& during = {}) {
    std::thread helper;
    const auto start = std::chrono::steady_clock::now();
    if (during) helper = std::thread(during);
    Tolvane t = launcher();
    try {
      t.python_exe();
    } catch (...) {
      if (helper.joinable()) helper.join();
      throw;
    }
    const auto took = std::chrono::steady_clock::now() - start;
    if (helper.joinable()) helper.join();
    return took;
  }

  std::vector<Event> journal() const {
    std::vector<Event> events;
    std::ifstream in(base_ / "journal");
    for (std::string line; std::getline(in, line);) {
      Event event;
      std::istringstream fields(line);
      std::getline(fields, event.call, '\t');
      std::getline(fields, event.folder, '\t');
      std::getline(fields, event.detail, '\t');
      std::getline(fields, event.thread, '\t');
      events.push_back(event);
    }
    return events;
  }
  std::vector<Event> calls_of(const std::string& call) const {
    std::vector<Event> found;
    for (const Event& event : journal())
      if (event.call == call) found.push_back(event);
    return found;
  }
  // Waits until the worker has begun run_process.
  void wait_for_the_worker() const {
    while (calls_of("MONITOR.run_process").empty()) std::this_thread::sleep_for(5ms);
  }

  fs::path base_;
  std::string saved_cwd_;
  LinkedModules modules_;
};

TEST_F(Monitor, AttendedModeLeavesDoneAloneAndStartsNoWorker) {
  set_env("TOLVANE_MISBEHAVE_NOGUI", "");
  launcher().python_exe();
  const auto main = calls_of("MONITOR.monitor_main");
  ASSERT_EQ(main.size(), 1u);
  // The monitor set done as it was made; the launcher did not write it.
  EXPECT_NE(main[0].detail.find(" done=1"), std::string::npos) << main[0].detail;
  EXPECT_TRUE(calls_of("MONITOR.nogui_mode").empty());
  EXPECT_TRUE(calls_of("MONITOR.run_process").empty());
}

TEST_F(Monitor, DoneAtOnceStillWaitsTheFirstFullSecond) {
  const auto took = timed_run();
  EXPECT_GE(took, 1s);
  EXPECT_LT(took, 1.9s);
  const auto nogui_mode = calls_of("MONITOR.nogui_mode");
  const auto run_process = calls_of("MONITOR.run_process");
  ASSERT_EQ(nogui_mode.size(), 1u);
  ASSERT_EQ(run_process.size(), 1u);
  EXPECT_EQ(nogui_mode[0].thread, "main");
  EXPECT_EQ(run_process[0].thread, "other");
  EXPECT_TRUE(calls_of("MONITOR.signal_handler").empty());
  EXPECT_EQ(nogui_mode[0].detail,
            "res2frd=" + os::path::join(
                             os::path::join(
                                 os::path::dirname(os::path::realpath(invocation_path())), "exes"),
                             "res2frd.exe"));
}

TEST_F(Monitor, InterruptsCallTheHandlerOnTheMainThreadAndTheWaitGoesOn) {
  set_env("TOLVANE_MISBEHAVE", "MONITOR.signal_handler=sleep:0.3,MONITOR.done=after:2.6");
  const auto took = timed_run([this] {
    wait_for_the_worker();
    std::this_thread::sleep_for(200ms);
    tolvane::testing::send_interrupt();  // first call
    std::this_thread::sleep_for(100ms);
    // Three more while the handler still runs: they make one more call.
    tolvane::testing::send_interrupt();
    tolvane::testing::send_interrupt();
    tolvane::testing::send_interrupt();
  });
  const auto handler = calls_of("MONITOR.signal_handler");
  ASSERT_EQ(handler.size(), 2u);
  for (const Event& call : handler) {
    EXPECT_EQ(call.thread, "main");
    EXPECT_EQ(call.detail, "signum=2");
  }
  EXPECT_GE(took, 2.6s);
  EXPECT_LT(took, 4s);
}

TEST_F(Monitor, AFailingWorkerIsReportedAndTheWaitGoesOn) {
  set_env("TOLVANE_MISBEHAVE", "MONITOR.run_process=throw,MONITOR.done=after:1.5");
  ::testing::internal::CaptureStderr();
  const auto took = timed_run();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(": MONITOR.run_process: std::runtime_error: MONITOR.run_process threw"),
            std::string::npos)
      << err;
  EXPECT_GE(took, 2s);
}

TEST_F(Monitor, AFailingHandlerEndsThePipelineWithItsFailure) {
  set_env("TOLVANE_MISBEHAVE", "MONITOR.signal_handler=throw,MONITOR.done=never");
  try {
    timed_run([this] {
      wait_for_the_worker();
      std::this_thread::sleep_for(300ms);
      tolvane::testing::send_interrupt();
    });
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.where(), "MONITOR.signal_handler");
  }
}

}  // namespace
}  // namespace tolvane
