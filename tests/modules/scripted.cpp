// A component module written with component.hpp, as a C++ author writes
// one: it stands in for any of the three components in the tests of what
// the C++ layer does (an exception that leaves a call becomes the call's
// reported failure), and, linked into the unit test, for the unattended
// mode under ThreadSanitizer. Steered and seen as steering.hpp says, with
// the benign ways of misbehaving.cpp:
//     throw      a std::runtime_error leaves the call ("CALL threw"), which
//                the C++ layer reports
//     sleep, sleep:SECONDS
//                the call takes 1.5 s (or SECONDS) after its line
//     CONVERTER.main=dflag|null-heading|no-model
//     MONITOR.run_process=work:SECONDS, MONITOR.done=never|after:SECONDS,
//     MONITOR.then=read|write, MONITOR.monitor_main=reader
// The monitor sets done as it is made, so that monitor_main's line says
// whether the launcher wrote it (done=1: it did not).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <tolvane/component.hpp>

#include "steering.hpp"

namespace {

using namespace tolvane::component;
using steering::way_of;

void note(const std::string& call, const std::string& detail = "") {
  steering::note(call, detail);
  if (way_of(call) == "throw") throw std::runtime_error(call + " threw");
}

bool sets_done_itself() { return way_of("MONITOR.done").empty(); }

class ScriptedConverter : public Converter {
 public:
  ScriptedConverter(const std::string& inp, const std::string& dir) : inp_(inp) {
    note("CONVERTER", "deck=" + inp + " folder=" + dir);
  }
  void main() override {
    note("CONVERTER.main");
    const std::string way = way_of("CONVERTER.main");
    if (way != "no-model")
      std::filesystem::create_directories(fs_path(inp_.substr(0, inp_.size() - 4)));
    dflag = way == "dflag";
    if (way != "null-heading")
      heading = std::getenv("TOLVANE_MISBEHAVE_HEADING")
                    ? steering::env("TOLVANE_MISBEHAVE_HEADING")
                    : std::string("Scripted beam");
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
    nogui = steering::env("TOLVANE_MISBEHAVE_NOGUI") == "1";
    done.store(true);
  }
  void nogui_mode() override { note("MONITOR.nogui_mode", "res2frd=" + res2frd_path); }
  void run_process() override {
    double seconds = 0;
    if (steering::seconds_of(way_of("MONITOR.done"), "after", seconds))
      std::thread([this, seconds] {
        steering::pause(seconds);
        done.store(true);
      }).detach();
    note("MONITOR.run_process");
    if (steering::seconds_of(way_of("MONITOR.run_process"), "work", seconds))
      steering::pause(seconds);
    if (sets_done_itself()) {
      steering::note("MONITOR done");
      done.store(true);
    }
    steering::keep_streams_busy(way_of("MONITOR.then"));
  }
  void signal_handler(int signum) override {
    note("MONITOR.signal_handler", "signum=" + std::to_string(signum));
    if (sets_done_itself()) done.store(true);
  }
  void monitor_main() override {
    note("MONITOR.monitor_main",
         "res2frd=" + res2frd_path + " done=" + std::to_string(done.load() ? 1 : 0));
    if (way_of("MONITOR.monitor_main") == "reader") {
      std::thread(steering::keep_streams_busy, "read").detach();
      // Returns once the reader surely waits inside the stream.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  }
};

}  // namespace

TOLVANE_EXPORT_CONVERTER(ScriptedConverter);
TOLVANE_EXPORT_EDITOR(ScriptedEditor);
TOLVANE_EXPORT_MONITOR(ScriptedMonitor);
