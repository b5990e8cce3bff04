// A component module written against the C interface alone, as a module
// without component.hpp is: it can stand in for any of the three
// components and break the contract at any call in ways that only such a
// module can. The test steers it through the environment:
//   TOLVANE_MISBEHAVE  CALL=WAY[,CALL=WAY...], where CALL is an entry or
//                      an operation ("CONVERTER", "EDITOR.root.destroy",
//                      "MONITOR.release") and WAY one of
//     throw      a std::runtime_error leaves the call ("CALL threw")
//     throw-int  an int leaves the call
//     report     a failure is reported and yet TOLVANE_OK (or the object)
//                is returned
//     lines      a failure whose message holds every kind of line end
//     segv, ill, fpe, abort
//                a crash of that kind
//     exit       the process is ended with exit(7)
//   TOLVANE_MISBEHAVE_NOGUI  "1": the monitor runs unattended
// Otherwise each component does its job: the converter makes the model
// folder and gives a heading, run_process and signal_handler set done.
// Every call first prints its name on a line of standard output.
#include <tolvane/component.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The way CALL is to misbehave, or "".
std::string way_of(const std::string& call) {
  const std::string list = std::string(",").append(env("TOLVANE_MISBEHAVE")).append(",");
  const std::string key = std::string(",").append(call).append("=");
  const auto at = list.find(key);
  if (at == std::string::npos) return "";
  const auto from = at + key.size();
  return list.substr(from, list.find(',', from) - from);
}

volatile int seven = 7, zero = 0;
int* volatile nowhere = nullptr;

// Prints the call, then misbehaves as told; true when the call is to
// report its failure and return as if it had succeeded.
bool act(const char* call, tolvane_error* error) {
  std::printf("%s\n", call);
  std::fflush(stdout);
  const std::string way = way_of(call);
  if (way == "throw") throw std::runtime_error(std::string(call).append(" threw"));
  if (way == "throw-int") throw 42;
  if (way == "segv") *nowhere = 1;
  if (way == "ill") __builtin_trap();
  if (way == "fpe") std::printf("%d\n", seven / zero);
  if (way == "abort") std::abort();
  if (way == "exit") std::exit(7);
  if (way == "lines" && error != nullptr)
    error->report(error, "ValueError", "a\rb\nc\vd\fe\x1c" "f\x1dg\x1eh\u0085i\u2028j\u2029k");
  if (way == "report" && error != nullptr) error->report(error, "ValueError", "reported, yet");
  return way == "report" || way == "lines";
}

tolvane_status acted(const char* call, tolvane_error* error) {
  act(call, error);
  return TOLVANE_OK;
}

// --- converter --------------------------------------------------------------

struct Converter {
  tolvane_converter c;
  std::string model;
};

const tolvane_converter_ops converter_ops = {
    [](tolvane_converter* self, tolvane_error* error) {
      act("CONVERTER.main", error);
      std::error_code ignored;
      std::filesystem::create_directories(reinterpret_cast<Converter*>(self)->model, ignored);
      self->heading = "Misbehaving beam";
      return TOLVANE_OK;
    },
    [](tolvane_converter* self) {
      act("CONVERTER.release", nullptr);
      delete reinterpret_cast<Converter*>(self);
    }};

// --- editor -----------------------------------------------------------------

const tolvane_window_ops window_ops = {
    [](tolvane_window*, tolvane_error* error) { return acted("EDITOR.root.destroy", error); }};

struct Editor {
  tolvane_editor c;
  tolvane_window window{&window_ops};
};

const tolvane_editor_ops editor_ops = {
    [](tolvane_editor*, const char*, const char*, tolvane_error* error) {
      return acted("EDITOR.editor", error);
    },
    [](tolvane_editor* self) {
      act("EDITOR.release", nullptr);
      delete reinterpret_cast<Editor*>(self);
    }};

// --- monitor ----------------------------------------------------------------

const tolvane_monitor_ops monitor_ops = {
    [](tolvane_monitor*, tolvane_error* error) { return acted("MONITOR.nogui_mode", error); },
    [](tolvane_monitor* self, tolvane_error* error) {
      // Done first, so that the wait ends however the call goes on.
      tolvane_flag_store(&self->done, 1);
      return acted("MONITOR.run_process", error);
    },
    [](tolvane_monitor* self, int32_t, tolvane_error* error) {
      act("MONITOR.signal_handler", error);
      tolvane_flag_store(&self->done, 1);
      return TOLVANE_OK;
    },
    [](tolvane_monitor*, tolvane_error* error) { return acted("MONITOR.monitor_main", error); },
    [](tolvane_monitor* self) {
      act("MONITOR.release", nullptr);
      delete self;
    }};

}  // namespace

TOLVANE_EXPORT tolvane_converter* CONVERTER(const char* inp_path, const char*,
                                            tolvane_error* error) {
  auto* converter = new Converter{{&converter_ops, 0, nullptr}, inp_path};
  converter->model.resize(converter->model.size() - std::strlen(".inp"));
  act("CONVERTER", error);
  return &converter->c;
}
TOLVANE_DECLARE_CONVERTER;

TOLVANE_EXPORT tolvane_editor* EDITOR(const char*, const char*, tolvane_error* error) {
  auto* editor = new Editor{{&editor_ops, nullptr}};
  editor->c.root = &editor->window;
  act("EDITOR", error);
  return &editor->c;
}
TOLVANE_DECLARE_EDITOR;

TOLVANE_EXPORT tolvane_monitor* MONITOR(const char*, const char*, const void*,
                                        tolvane_error* error) {
  auto* monitor = new tolvane_monitor{&monitor_ops, nullptr, 0, 0};
  monitor->nogui = env("TOLVANE_MISBEHAVE_NOGUI") == "1" ? 1 : 0;
  act("MONITOR", error);
  return monitor;
}
TOLVANE_DECLARE_MONITOR;
