// One library that can stand in for any of the three in-process component
// modules in end-to-end tests; the test steers it through the environment:
//   TOLVANE_TEST_THROW    operation that throws std::runtime_error, e.g.
//                         "CONVERTER.main" or "MONITOR.run_process"
//   TOLVANE_TEST_HEADING  the converter's heading (unset: null)
//   TOLVANE_TEST_DFLAG    "1": the conversion fails
//   TOLVANE_TEST_NOGUI    "1": the monitor runs unattended
//   TOLVANE_TEST_WORK     seconds run_process works before done (default 0;
//                         negative: never done by itself)
//   TOLVANE_TEST_NO_MODEL "1": the converter creates no model directory
//   TOLVANE_TEST_SLEEP    operation that sleeps for 1.5 s after its line,
//                         so that a test can interrupt it
//   TOLVANE_TEST_THEN     what run_process goes on with once its work is
//                         over: "read" standard input to its end, or
//                         "write" to standard output for ever
//   TOLVANE_TEST_READER   "1": monitor_main leaves a thread of its own
//                         behind that reads standard input to its end
// Every call prints one line "OPERATION<tab>DIR<tab>DETAIL" so the test
// sees order and directories.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <tolvane/component.hpp>

namespace {

using namespace tolvane::component;

std::string env(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

// Stays inside the C streams, holding their locks, for as long as standard
// input stays open or standard output takes more.
void keep_streams_busy(const std::string& how) {
  if (how == "read")
    while (std::fgetc(stdin) != EOF) {
    }
  if (how == "write")
    for (;;)
      std::fputs("MONITOR progress ...................................................\n", stdout);
}

void note(const std::string& operation, const std::string& detail = "") {
  const std::string line =
      operation + "\t" + std::filesystem::current_path().string() + "\t" + detail + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  if (env("TOLVANE_TEST_SLEEP") == operation)
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  if (env("TOLVANE_TEST_THROW") == operation) throw std::runtime_error(operation + " went wrong");
}

class ScriptedConverter : public Converter {
 public:
  ScriptedConverter(const std::string& inp, const std::string&) : inp_(inp) { note("CONVERTER"); }
  void main() override {
    note("CONVERTER.main");
    if (env("TOLVANE_TEST_NO_MODEL") != "1")
      std::filesystem::create_directories(inp_.substr(0, inp_.size() - 4));
    dflag = env("TOLVANE_TEST_DFLAG") == "1";
    if (std::getenv("TOLVANE_TEST_HEADING")) heading = env("TOLVANE_TEST_HEADING");
  }

 private:
  std::string inp_;
};

class ScriptedWindow : public Window {
 public:
  void destroy() override { note("EDITOR.root.destroy"); }
};

class ScriptedEditor : public Editor {
 public:
  ScriptedEditor(const std::string&, const std::string& setting) {
    note("EDITOR", "setting=" + setting);
    root = std::make_unique<ScriptedWindow>();
  }
  void editor(const std::optional<std::string>& header, const std::string& exepath) override {
    note("EDITOR.editor", "header=" + header.value_or("(null)") + " exepath=" + exepath);
  }
};

class ScriptedMonitor : public Monitor {
 public:
  ScriptedMonitor(const std::string& model, const std::string&, const void* parent) {
    note("MONITOR", "model=" + model + (parent ? " parent" : " null"));
    nogui = env("TOLVANE_TEST_NOGUI") == "1";
  }
  void nogui_mode() override { note("MONITOR.nogui_mode", "res2frd=" + res2frd_path); }
  void run_process() override {
    note("MONITOR.run_process");
    const double work = std::atof(env("TOLVANE_TEST_WORK", "0").c_str());
    if (work >= 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(work));
      std::fputs("MONITOR done\n", stdout);
      std::fflush(stdout);
      done.store(true);
    }
    keep_streams_busy(env("TOLVANE_TEST_THEN"));
  }
  void signal_handler(int signum) override {
    note("MONITOR.signal_handler", "signum=" + std::to_string(signum));
    done.store(true);
  }
  void monitor_main() override {
    note("MONITOR.monitor_main", "res2frd=" + res2frd_path);
    if (env("TOLVANE_TEST_READER") == "1") {
      std::thread(keep_streams_busy, "read").detach();
      // Returns once the reader surely waits inside the stream.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  }
};

}  // namespace

TOLVANE_EXPORT_CONVERTER(ScriptedConverter);
TOLVANE_EXPORT_EDITOR(ScriptedEditor);
TOLVANE_EXPORT_MONITOR(ScriptedMonitor);
