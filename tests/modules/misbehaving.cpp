// A component module written against the C interface alone, as a module
// without component.hpp is: it can stand in for any of the three
// components and break the contract at any call in ways that only such a
// module can. The test steers it through the environment:
//   TOLVANE_MISBEHAVE  CALL=WAY[,CALL=WAY...], where CALL is an entry or
//                      an operation ("CONVERTER", "EDITOR.root.destroy",
//                      "MONITOR.release") and WAY one of
//     throw      a std::runtime_error leaves the call ("CALL threw")
//     throw-int  an int leaves the call
//     fail       the call fails and says why
//     report     a failure is reported and yet TOLVANE_OK (or the object)
//                is returned
//     lines      the same with a message that holds every kind of line end
//     segv, ill, fpe, abort
//                a crash of that kind
//     exit       the process is ended with exit(7)
//     hang       the call never returns
//     segv-second
//                the second call of it crashes (the first succeeds)
//     leak-crash the call starts a thread of its own, which crashes 300 ms
//                after the call has returned
//     overflow   the call's stack overflows
//     trap, sys  a breakpoint (int3); natively a SIGSYS
//     abort-threads
//                four threads that the call starts call abort() at once
//     end-thread, terminate-thread
//                the call ends its own thread: pthread_exit, or on Windows
//                ExitThread and TerminateThread
//     default-segv, default-abort, own-handler, no-filter
//                the call changes the crash handling and returns: the
//                default for SIGSEGV or SIGABRT, a SIGSEGV handler of its
//                own that ends with 42, on Windows no exception filter
//   and for one call each:
//     CONVERTER.main=null-heading|bad-heading|newline-heading|no-model|fopen
//                a NULL heading, one that is no UTF-8, one with a line
//                end, no model folder made; the deck opened with plain
//                fopen, and a failure reported if that fails
//     EDITOR=no-root          no root window
//     MONITOR.nogui_mode=done done set there, and never by run_process
//     MONITOR.run_process=no-done|hang-no-done|crash-after-done
//                done never set, with run_process returning or not; or
//                set, and a crash 300 ms later
//     MONITOR.done=never      run_process never sets done
//     load=throw              the module's initialiser throws as it loads
//   TOLVANE_MISBEHAVE_NOGUI  "1": the monitor runs unattended
// Otherwise each component does its job: the converter makes the model
// folder and gives a heading, run_process and signal_handler set done.
// Every call first prints its name on a line of standard output.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <tolvane/component.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

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

void crash_in(std::chrono::milliseconds delay) {
  std::this_thread::sleep_for(delay);
  *nowhere = 1;
}

// How often each call has been made, for the ways of its second call.
std::atomic<int> calls_made[16];
int nth_call(const std::string& call) { return ++calls_made[std::hash<std::string>{}(call) % 16]; }

// Deeper than any stack; volatile, so that the recursion stays one.
volatile bool deeper = true;
int overflow(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  return deeper ? overflow(depth + 1) + frame[0] : frame[0];
}

void abort_together() {
  std::atomic<int> ready{0};
  std::thread threads[4];
  for (auto& thread : threads)
    thread = std::thread([&ready] {
      ++ready;
      while (ready.load() < 4) {
      }
      std::abort();
    });
  for (auto& thread : threads) thread.join();
}

void end_own_thread(bool terminate) {
#if defined(_WIN32)
  if (terminate) TerminateThread(GetCurrentThread(), 0);
  ExitThread(0);
#else
  (void)terminate;
  pthread_exit(nullptr);
#endif
}

void own_segv_handler(int) { _exit(42); }

// Changes the crash handling as told.
void change_crash_handling(const std::string& way) {
  if (way == "default-segv") std::signal(SIGSEGV, SIG_DFL);
  if (way == "default-abort") std::signal(SIGABRT, SIG_DFL);
  if (way == "own-handler") std::signal(SIGSEGV, own_segv_handler);
#if defined(_WIN32)
  if (way == "no-filter") SetUnhandledExceptionFilter(nullptr);
#endif
}

// Prints the call, then misbehaves as told; returns what the call is to
// return: TOLVANE_FAILED when it is to fail.
tolvane_status act(const char* call, tolvane_error* error) {
  std::printf("%s\n", call);
  std::fflush(stdout);
  const std::string way = way_of(call);
  if (way == "segv-second" && nth_call(call) == 2) *nowhere = 1;
  if (way == "leak-crash") std::thread(crash_in, std::chrono::milliseconds(300)).detach();
  if (way == "throw") throw std::runtime_error(std::string(call).append(" threw"));
  if (way == "throw-int") throw 42;
  if (way == "segv") *nowhere = 1;
  if (way == "ill") __builtin_trap();
  if (way == "fpe") std::printf("%d\n", seven / zero);
  if (way == "abort") std::abort();
  if (way == "exit") std::exit(7);
  if (way == "overflow") std::printf("%d\n", overflow(0));
#if defined(__x86_64__) || defined(_M_X64)
  if (way == "trap") __asm__ volatile("int3");
#endif
#if !defined(_WIN32)
  if (way == "sys") std::raise(SIGSYS);
#endif
  if (way == "abort-threads") abort_together();
  if (way == "end-thread" || way == "terminate-thread") end_own_thread(way == "terminate-thread");
  change_crash_handling(way);
  if (way == "hang" || way == "hang-no-done")
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  if (error == nullptr) return TOLVANE_OK;
  if (way == "lines")
    error->report(error, "ValueError",
                  "a\rb\nc\vd\fe\x1c"
                  "f\x1dg\x1eh\u0085i\u2028j\u2029k");
  if (way == "report") error->report(error, "ValueError", "reported, yet");
  if (way == "fail")
    return tolvane_fail(error, "ValueError", std::string(call).append(" failed").c_str());
  return TOLVANE_OK;
}

// As a C++ module's static object whose constructor throws does.
const bool loaded = [] {
  if (way_of("load") == "throw") throw std::runtime_error("the module's initialiser threw");
  return true;
}();

// --- converter --------------------------------------------------------------

struct Converter {
  tolvane_converter c;
  std::string deck;
  std::string model;
};

const char* heading_for(const std::string& way) {
  if (way == "null-heading") return nullptr;
  if (way == "bad-heading") return "Misbehaving \xff beam";
  if (way == "newline-heading") return "Misbehaving\nbeam";
  return "Misbehaving beam";
}

const tolvane_converter_ops converter_ops = {
    [](tolvane_converter* self, tolvane_error* error) {
      const std::string way = way_of("CONVERTER.main");
      auto* converter = reinterpret_cast<Converter*>(self);
      if (way == "fopen") {
        // As a C module that knows nothing of the launcher's UTF-8 does.
        FILE* deck = std::fopen(converter->deck.c_str(), "rb");
        if (deck == nullptr)
          return tolvane_fail(error, "FileNotFoundError", "cannot open the deck");
        std::fclose(deck);
      }
      const tolvane_status status = act("CONVERTER.main", error);
      std::error_code ignored;
      if (way != "no-model")
        std::filesystem::create_directories(
            std::filesystem::path(std::u8string(converter->model.begin(), converter->model.end())),
            ignored);
      self->heading = heading_for(way);
      return status;
    },
    [](tolvane_converter* self) {
      act("CONVERTER.release", nullptr);
      delete reinterpret_cast<Converter*>(self);
    }};

// --- editor -----------------------------------------------------------------

const tolvane_window_ops window_ops = {
    [](tolvane_window*, tolvane_error* error) { return act("EDITOR.root.destroy", error); }};

struct Editor {
  tolvane_editor c;
  tolvane_window window{&window_ops};
};

const tolvane_editor_ops editor_ops = {
    [](tolvane_editor*, const char*, const char*, tolvane_error* error) {
      return act("EDITOR.editor", error);
    },
    [](tolvane_editor* self) {
      act("EDITOR.release", nullptr);
      delete reinterpret_cast<Editor*>(self);
    }};

// --- monitor ----------------------------------------------------------------

const tolvane_monitor_ops monitor_ops = {
    [](tolvane_monitor* self, tolvane_error* error) {
      if (way_of("MONITOR.nogui_mode") == "done") tolvane_flag_store(&self->done, 1);
      return act("MONITOR.nogui_mode", error);
    },
    [](tolvane_monitor* self, tolvane_error* error) {
      // Done first, so that the wait ends however the call goes on.
      const std::string way = way_of("MONITOR.run_process");
      if (way != "no-done" && way != "hang-no-done" && way_of("MONITOR.nogui_mode") != "done" &&
          way_of("MONITOR.done") != "never")
        tolvane_flag_store(&self->done, 1);
      if (way == "crash-after-done") crash_in(std::chrono::milliseconds(300));
      return act("MONITOR.run_process", error);
    },
    [](tolvane_monitor* self, int32_t, tolvane_error* error) {
      const tolvane_status status = act("MONITOR.signal_handler", error);
      tolvane_flag_store(&self->done, 1);
      return status;
    },
    [](tolvane_monitor*, tolvane_error* error) { return act("MONITOR.monitor_main", error); },
    [](tolvane_monitor* self) {
      act("MONITOR.release", nullptr);
      delete self;
    }};

}  // namespace

TOLVANE_EXPORT tolvane_converter* CONVERTER(const char* inp_path, const char*,
                                            tolvane_error* error) {
  auto* converter = new Converter{{&converter_ops, 0, nullptr}, inp_path, inp_path};
  converter->model.resize(converter->model.size() - std::strlen(".inp"));
  if (act("CONVERTER", error) != TOLVANE_OK) return nullptr;
  return &converter->c;
}
TOLVANE_DECLARE_CONVERTER;

TOLVANE_EXPORT tolvane_editor* EDITOR(const char*, const char*, tolvane_error* error) {
  auto* editor = new Editor{{&editor_ops, nullptr}};
  if (way_of("EDITOR") != "no-root") editor->c.root = &editor->window;
  if (act("EDITOR", error) != TOLVANE_OK) return nullptr;
  return &editor->c;
}
TOLVANE_DECLARE_EDITOR;

TOLVANE_EXPORT tolvane_monitor* MONITOR(const char*, const char*, const void*,
                                        tolvane_error* error) {
  auto* monitor = new tolvane_monitor{&monitor_ops, nullptr, 0, 0};
  monitor->nogui = env("TOLVANE_MISBEHAVE_NOGUI") == "1" ? 1 : 0;
  if (act("MONITOR", error) != TOLVANE_OK) return nullptr;
  return monitor;
}
TOLVANE_DECLARE_MONITOR;
