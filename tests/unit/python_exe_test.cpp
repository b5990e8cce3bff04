// The in-process pipeline driven with components linked into this test:
// step order, the current directory at each step, object lifetimes,
// failures from every operation, and the unattended mode's wait.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <tolvane/component.hpp>

#include "binding.hpp"
#include "failure.hpp"
#include "main.hpp"
#include "platform/file_system.hpp"
#include "platform/interrupts.hpp"
#include "platform/process.hpp"
#include "process_info.hpp"
#include "send_interrupt.hpp"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using component::Converter;
using component::Editor;
using component::Monitor;
using component::Window;

// What the components saw, shared with the detached worker, so it
// outlives a test whose worker is still running.
struct Script {
  std::mutex mutex;
  std::vector<std::string> journal;
  std::set<std::string> throw_in;  // operations that throw
  std::string converter_moves_to;  // where CONVERTER.main goes
  bool dflag = false;
  std::optional<std::string> heading = "Bracket under load";
  bool nogui = false;
  bool done_at_once = true;
  std::chrono::milliseconds handler_takes{0};
  int handler_calls = 0;
  std::thread::id handler_thread, nogui_mode_thread, worker_thread;
  std::optional<std::string> editor_header;
  std::string res2frd_seen;
  bool done_seen_by_monitor_main = false;

  void note(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex);
    journal.push_back(event + " @" + os::getcwd());
  }
  void maybe_throw(const std::string& operation) {
    if (throw_in.count(operation)) throw std::runtime_error(operation + " failed");
  }
};

std::shared_ptr<Script> script;

class TestConverter : public Converter {
 public:
  TestConverter(const std::string& inp, const std::string& dir) : s_(script) {
    s_->note("CONVERTER(" + inp + ", " + dir + ")");
    s_->maybe_throw("CONVERTER");
  }
  ~TestConverter() override { s_->note("~CONVERTER"); }
  void main() override {
    s_->note("CONVERTER.main");
    s_->maybe_throw("CONVERTER.main");
    if (!s_->converter_moves_to.empty()) os::chdir(s_->converter_moves_to);
    dflag = s_->dflag;
    heading = s_->heading;
  }

 private:
  std::shared_ptr<Script> s_;
};

class TestWindow : public Window {
 public:
  explicit TestWindow(std::shared_ptr<Script> s) : s_(std::move(s)) {}
  void destroy() override {
    s_->note("EDITOR.root.destroy");
    s_->maybe_throw("EDITOR.root.destroy");
  }

 private:
  std::shared_ptr<Script> s_;
};

class TestEditor : public Editor {
 public:
  TestEditor(const std::string& inp, const std::string& setting) : s_(script) {
    s_->note("EDITOR(" + inp + ", " + setting + ")");
    s_->maybe_throw("EDITOR");
    root = std::make_unique<TestWindow>(s_);
  }
  ~TestEditor() override { s_->note("~EDITOR"); }
  void editor(const std::optional<std::string>& header, const std::string& exepath) override {
    s_->note("EDITOR.editor(" + exepath + ")");
    s_->editor_header = header;
    s_->maybe_throw("EDITOR.editor");
  }

 private:
  std::shared_ptr<Script> s_;
};

class TestMonitor : public Monitor {
 public:
  TestMonitor(const std::string& model, const std::string& setting, const void* parent)
      : s_(script) {
    s_->note("MONITOR(" + model + ", " + setting + (parent ? ", parent)" : ", null)"));
    s_->maybe_throw("MONITOR");
    nogui = s_->nogui;
    done.store(true);  // shows whether the launcher wrote it
  }
  ~TestMonitor() override { s_->note("~MONITOR"); }
  void nogui_mode() override {
    s_->note("MONITOR.nogui_mode");
    s_->nogui_mode_thread = std::this_thread::get_id();
    s_->res2frd_seen = res2frd_path;
    s_->maybe_throw("MONITOR.nogui_mode");
  }
  void run_process() override {
    s_->worker_thread = std::this_thread::get_id();
    s_->maybe_throw("MONITOR.run_process");
    if (s_->done_at_once) done.store(true);
  }
  void signal_handler(int signum) override {
    {
      std::lock_guard<std::mutex> lock(s_->mutex);
      ++s_->handler_calls;
      s_->handler_thread = std::this_thread::get_id();
    }
    EXPECT_EQ(signum, SIGINT);
    s_->maybe_throw("MONITOR.signal_handler");
    std::this_thread::sleep_for(s_->handler_takes);
  }
  void monitor_main() override {
    s_->note("MONITOR.monitor_main");
    s_->res2frd_seen = res2frd_path;
    s_->done_seen_by_monitor_main = done.load();
    s_->maybe_throw("MONITOR.monitor_main");
  }

 private:
  std::shared_ptr<Script> s_;
};

// A module linked into the test: its entries with their declarations.
template <auto Entry, std::uint32_t Kind>
const tolvane_declaration declared{TOLVANE_DECLARATION_MAGIC,
                                   TOLVANE_INTERFACE_MAJOR,
                                   TOLVANE_INTERFACE_MINOR,
                                   Kind,
                                   0,
                                   reinterpret_cast<tolvane_function>(Entry)};

// Where a test's entries come from: the test sets find.
using SymbolFinder = std::function<void*(const std::string& module, const std::string& symbol)>;
class LinkedModules final : public SymbolSource {
 public:
  std::string module_name(const ComponentKind& kind) const override { return kind.module; }
  void* symbol(const ComponentKind& kind, const char* name) override {
    return find(kind.module, name);
  }
  SymbolFinder find;
};
LinkedModules linked_modules;
void set_symbol_finder(SymbolFinder finder) { linked_modules.find = std::move(finder); }

template <class M>
SymbolFinder module_with(std::function<void(const std::string&)> before = {}) {
  constexpr auto converter = &component::converter_entry<TestConverter>;
  constexpr auto editor = &component::editor_entry<TestEditor>;
  constexpr auto monitor = &component::monitor_entry<M>;
  const std::map<std::string, const void*> symbols = {
      {"CONVERTER", reinterpret_cast<const void*>(converter)},
      {"EDITOR", reinterpret_cast<const void*>(editor)},
      {"MONITOR", reinterpret_cast<const void*>(monitor)},
      {"tolvane_declaration_CONVERTER", &declared<converter, TOLVANE_ENTRY_CONVERTER>},
      {"tolvane_declaration_EDITOR", &declared<editor, TOLVANE_ENTRY_EDITOR>},
      {"tolvane_declaration_MONITOR", &declared<monitor, TOLVANE_ENTRY_MONITOR>},
  };
  return [symbols, before](const std::string& module, const std::string& symbol) -> void* {
    if (before) before(symbol + " from " + module);
    const auto found = symbols.find(symbol);
    return found == symbols.end() ? nullptr : const_cast<void*>(found->second);
  };
}

class PythonExe : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::take_interrupt();
    script = std::make_shared<Script>();
    saved_cwd_ = os::getcwd();
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '_';
    base_ = fs::path(os::path::realpath(fs::temp_directory_path().string())) /
            ("tolvane-python-exe-" +
             std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + name);
    fs::remove_all(base_);
    fs::create_directories(base_ / "start");
    fs::create_directories(base_ / "jobs" / "beam");
    fs::create_directories(base_ / "elsewhere");
    os::chdir((base_ / "start").string());
    set_invocation_path(value_or_failure("test", platform::executable_path()));
    const SymbolFinder module = module_with<TestMonitor>();
    set_symbol_finder([this, module](const std::string& name, const std::string& symbol) -> void* {
      if (symbol.rfind("tolvane_declaration_", 0) != 0)
        script->note("bind " + symbol + " from " + name);
      return symbol == missing_ ? nullptr : module(name, symbol);
    });
  }
  void TearDown() override {
    set_symbol_finder(nullptr);
    os::chdir(saved_cwd_);
    platform::take_interrupt();
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  Tolvane launcher() {
    const std::string deck = (base_ / "jobs" / "beam.inp").string();
    Tolvane made(deck, (base_ / "jobs").string(), "/opt/solver/FrontISTR-DEV250506");
    made.chain.modules = &linked_modules;
    return made;
  }

  std::string at(const fs::path& p) const { return " @" + p.string(); }
  std::vector<std::string> journal() {
    std::lock_guard<std::mutex> lock(script->mutex);
    return script->journal;
  }

  fs::path base_;
  std::string saved_cwd_;
  std::string missing_;
};

TEST_F(PythonExe, RunsTheStepsInOrderInTheRightDirectories) {
  script->converter_moves_to = (base_ / "elsewhere").string();
  Tolvane t = launcher();
  t.python_exe();

  const std::string root =
      os::path::realpath(os::path::dirname(value_or_failure("test", platform::executable_path())));
  const std::string setting = os::path::join(root, "session.xml");
  const fs::path start = base_ / "start", model = base_ / "jobs" / "beam";
  const std::vector<std::string> expected = {
      "bind CONVERTER from inp_converter.main" + at(start),
      "bind EDITOR from editor.gui" + at(start),
      "bind MONITOR from monitor.gui" + at(start),
      "CONVERTER(" + t.inp_path + ", " + t.dir_path + ")" + at(start),
      "CONVERTER.main" + at(start),
      "~CONVERTER" + at(base_ / "elsewhere"),
      "EDITOR(" + t.inp_path + ", " + setting + ")" + at(start),
      "EDITOR.editor(/opt/solver/FrontISTR-DEV250506)" + at(start),
      "EDITOR.root.destroy" + at(start),
      "~EDITOR" + at(start),
      "MONITOR(" + model.string() + ", " + setting + ", null)" + at(model),
      "MONITOR.monitor_main" + at(model),
      "~MONITOR" + at(model),
  };
  EXPECT_EQ(journal(), expected);
  EXPECT_EQ(t.root_dir, root);
  EXPECT_EQ(t.setting, setting);
  EXPECT_EQ(script->res2frd_seen, os::path::join(os::path::join(root, "exes"), "res2frd.exe"));
  EXPECT_EQ(script->editor_header, "Bracket under load");
  EXPECT_EQ(os::getcwd(), model.string());
}

TEST_F(PythonExe, AttendedModeLeavesDoneAloneAndStartsNoWorker) {
  launcher().python_exe();
  EXPECT_TRUE(script->done_seen_by_monitor_main);
  EXPECT_EQ(script->worker_thread, std::thread::id());
  EXPECT_EQ(script->nogui_mode_thread, std::thread::id());
}

TEST_F(PythonExe, ConversionFailureEndsWithStatusOneAndNoEditor) {
  script->dflag = true;
  script->converter_moves_to = (base_ / "elsewhere").string();
  try {
    launcher().python_exe();
    FAIL() << "no exit request";
  } catch (const ExitRequest& request) {
    EXPECT_EQ(request.status, 1);
  }
  for (const auto& event : journal()) EXPECT_EQ(event.find("EDITOR("), std::string::npos) << event;
  EXPECT_EQ(os::getcwd(), (base_ / "elsewhere").string());
}

TEST_F(PythonExe, NullAndEmptyHeadingsReachTheEditorUnchanged) {
  script->heading = std::nullopt;
  launcher().python_exe();
  EXPECT_EQ(script->editor_header, std::nullopt);

  os::chdir((base_ / "start").string());
  script = std::make_shared<Script>();
  script->heading = "";
  launcher().python_exe();
  EXPECT_EQ(script->editor_header, std::optional<std::string>(""));
}

TEST_F(PythonExe, MissingModelDirectoryFailsAfterTheEditorAndBeforeTheMonitor) {
  fs::remove(base_ / "jobs" / "beam");
  try {
    launcher().python_exe();
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.where(), "chdir");
    EXPECT_EQ(failure.kind(), kind::not_found);
  }
  const auto events = journal();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "~EDITOR" + at(base_ / "start"));
}

class MissingEntry : public PythonExe, public ::testing::WithParamInterface<const char*> {};

TEST_P(MissingEntry, StopsBeforeTheConverterExists) {
  missing_ = GetParam();
  try {
    launcher().python_exe();
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.kind(), kind::binding);
    EXPECT_NE(failure.where().find(GetParam()), std::string::npos) << failure.where();
  }
  for (const auto& event : journal()) EXPECT_EQ(event.rfind("bind", 0), 0u) << event;
  EXPECT_EQ(os::getcwd(), (base_ / "start").string());
}

INSTANTIATE_TEST_SUITE_P(Entries, MissingEntry,
                         ::testing::Values("CONVERTER", "EDITOR", "MONITOR"));

class ThrowingOperation : public PythonExe, public ::testing::WithParamInterface<const char*> {};

TEST_P(ThrowingOperation, BecomesAFailureNamingTheComponentAndOperation) {
  script->throw_in.insert(GetParam());
  script->nogui = std::string(GetParam()) == "MONITOR.nogui_mode";
  try {
    launcher().python_exe();
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.where(), GetParam());
    EXPECT_EQ(failure.kind(), "std::runtime_error");
    EXPECT_EQ(failure.message(), std::string(GetParam()) + " failed");
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, ThrowingOperation,
                         ::testing::Values("CONVERTER", "CONVERTER.main", "EDITOR", "EDITOR.editor",
                                           "EDITOR.root.destroy", "MONITOR", "MONITOR.monitor_main",
                                           "MONITOR.nogui_mode"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '.') c = '_';
                           return name;
                         });

// --- unattended mode ---------------------------------------------------------

class Unattended : public PythonExe {
 protected:
  void SetUp() override {
    PythonExe::SetUp();
    script->nogui = true;
  }
  // Runs the pipeline; `during` runs on a helper thread meanwhile.
  std::chrono::duration<double> timed_run(std::function<void()> during = {}) {
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
};

// The monitor object of the current unattended run, found the way another
// monitor thread would hold it.
std::atomic<Monitor*> current_monitor{nullptr};
class TrackedMonitor : public TestMonitor {
 public:
  TrackedMonitor(const std::string& model, const std::string& setting, const void* parent)
      : TestMonitor(model, setting, parent) {
    current_monitor.store(this);
  }
};

TEST_F(Unattended, DoneAtOnceStillWaitsTheFirstFullSecond) {
  const auto took = timed_run();
  EXPECT_GE(took, 1s);
  EXPECT_LT(took, 1.9s);
  EXPECT_EQ(script->nogui_mode_thread, std::this_thread::get_id());
  EXPECT_NE(script->worker_thread, std::this_thread::get_id());
  EXPECT_EQ(script->handler_calls, 0);
  EXPECT_EQ(script->res2frd_seen,
            os::path::join(os::path::join(os::path::realpath(os::path::dirname(value_or_failure(
                                              "test", platform::executable_path()))),
                                          "exes"),
                           "res2frd.exe"));
}

void bind_tracked_monitor() {
  current_monitor.store(nullptr);
  set_symbol_finder(module_with<TrackedMonitor>());
}

void set_done_after(std::chrono::milliseconds delay) {
  std::this_thread::sleep_for(delay);
  while (current_monitor.load() == nullptr) std::this_thread::sleep_for(10ms);
  current_monitor.load()->done.store(true);
}

TEST_F(Unattended, InterruptsCallTheHandlerOnTheMainThreadAndTheWaitGoesOn) {
  script->done_at_once = false;
  script->handler_takes = 300ms;
  bind_tracked_monitor();
  const auto took = timed_run([] {
    while (current_monitor.load() == nullptr) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(200ms);
    tolvane::testing::send_interrupt();  // first call
    std::this_thread::sleep_for(100ms);
    // Three more while the handler still runs: they make one more call.
    tolvane::testing::send_interrupt();
    tolvane::testing::send_interrupt();
    tolvane::testing::send_interrupt();
    set_done_after(2000ms);
  });
  EXPECT_EQ(script->handler_calls, 2);
  EXPECT_EQ(script->handler_thread, std::this_thread::get_id());
  EXPECT_GE(took, 2.3s);
  EXPECT_LT(took, 4s);
  current_monitor.store(nullptr);
}

TEST_F(Unattended, AFailingWorkerIsReportedAndTheWaitGoesOn) {
  script->done_at_once = false;
  script->throw_in.insert("MONITOR.run_process");
  bind_tracked_monitor();
  ::testing::internal::CaptureStderr();
  const auto took = timed_run([] { set_done_after(1500ms); });
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(": MONITOR.run_process: std::runtime_error: MONITOR.run_process failed"),
            std::string::npos)
      << err;
  EXPECT_GE(took, 2s);
  current_monitor.store(nullptr);
}

TEST_F(Unattended, AFailingHandlerEndsThePipelineWithItsFailure) {
  script->done_at_once = false;
  script->throw_in.insert("MONITOR.signal_handler");
  bind_tracked_monitor();
  try {
    timed_run([] {
      while (current_monitor.load() == nullptr) std::this_thread::sleep_for(5ms);
      std::this_thread::sleep_for(300ms);
      tolvane::testing::send_interrupt();
    });
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.where(), "MONITOR.signal_handler");
  }
  current_monitor.store(nullptr);
}

}  // namespace
}  // namespace tolvane
