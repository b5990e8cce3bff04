// A component module written against the C interface alone, as a module
// without component.hpp is: it can stand in for any of the three
// components, do its job, and break the contract at any call in ways that
// only such a module can. Steered and seen as steering.hpp says; the ways
// of TOLVANE_MISBEHAVE's CALL=WAY, where CALL is an entry or an operation
// ("CONVERTER", "EDITOR.root.destroy", "MONITOR.release"):
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
//     sleep, sleep:SECONDS
//                the call takes 1.5 s (or SECONDS) after its line
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
//     CONVERTER.main=dflag|null-heading|bad-heading|newline-heading|no-model|fopen
//                dflag set; a NULL heading, one that is no UTF-8, one with
//                a line end; no model folder made; the deck opened with
//                plain fopen, and a failure reported if that fails
//     EDITOR=no-root          no root window
//     MONITOR.nogui_mode=done done set there, and never by run_process
//     MONITOR.run_process=work:SECONDS|no-done|hang-no-done|crash-after-done
//                done set after SECONDS of work; never, with run_process
//                returning or not; or set, and a crash 300 ms later
//     MONITOR.done=never|after:SECONDS
//                done set by nobody; or by a thread of the monitor's own,
//                SECONDS after run_process has begun (and then neither
//                run_process nor signal_handler sets it)
//     MONITOR.then=read|write run_process goes on, once done is set,
//                reading standard input to its end, or writing for ever
//     MONITOR.monitor_main=reader
//                monitor_main leaves a thread of its own behind that reads
//                standard input to its end
//     load=throw              the module's initialiser throws as it loads
// Otherwise each component does its job: the converter makes the model
// folder and gives a heading, run_process and signal_handler set done.
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

#include "steering.hpp"

namespace {

using steering::note;
using steering::way_of;

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

// Writes the call's line, then misbehaves as told; returns what the call
// is to return: TOLVANE_FAILED when it is to fail.
tolvane_status act(const char* call, tolvane_error* error, const std::string& detail = "") {
  note(call, detail);
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

std::filesystem::path path_of(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// --- converter --------------------------------------------------------------

struct Converter {
  tolvane_converter c;
  std::string deck;
  std::string model;
  std::string heading;
};

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
        std::filesystem::create_directories(path_of(converter->model), ignored);
      self->dflag = way == "dflag" ? 1 : 0;
      const char* heading = converter->heading.c_str();
      if (way == "null-heading") heading = nullptr;
      if (way == "bad-heading") heading = "Misbehaving \xff beam";
      if (way == "newline-heading") heading = "Misbehaving\nbeam";
      self->heading = heading;
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
    [](tolvane_editor*, const char* header, const char* exepath, tolvane_error* error) {
      return act("EDITOR.editor", error,
                 std::string("header=") + (header ? header : "(null)") + " exepath=" + exepath);
    },
    [](tolvane_editor* self) {
      act("EDITOR.release", nullptr);
      delete reinterpret_cast<Editor*>(self);
    }};

// --- monitor ----------------------------------------------------------------

// Who sets done: run_process and signal_handler, unless MONITOR.done or
// MONITOR.nogui_mode says otherwise.
bool sets_done_itself() {
  return way_of("MONITOR.done").empty() && way_of("MONITOR.nogui_mode") != "done";
}

const tolvane_monitor_ops monitor_ops = {
    [](tolvane_monitor* self, tolvane_error* error) {
      if (way_of("MONITOR.nogui_mode") == "done") tolvane_flag_store(&self->done, 1);
      return act("MONITOR.nogui_mode", error,
                 std::string("res2frd=") + (self->res2frd_path ? self->res2frd_path : ""));
    },
    [](tolvane_monitor* self, tolvane_error* error) {
      const std::string way = way_of("MONITOR.run_process");
      double seconds = 0;
      if (steering::seconds_of(way_of("MONITOR.done"), "after", seconds))
        std::thread([self, seconds] {
          steering::pause(seconds);
          tolvane_flag_store(&self->done, 1);
        }).detach();
      // Done first, so that the wait ends however the call goes on; after
      // its work, when it has some.
      const bool work = steering::seconds_of(way, "work", seconds);
      if (!work && sets_done_itself() && way != "no-done" && way != "hang-no-done")
        tolvane_flag_store(&self->done, 1);
      if (way == "crash-after-done") crash_in(std::chrono::milliseconds(300));
      const tolvane_status status = act("MONITOR.run_process", error);
      if (work) {
        steering::pause(seconds);
        note("MONITOR done");
        if (sets_done_itself()) tolvane_flag_store(&self->done, 1);
      }
      steering::keep_streams_busy(way_of("MONITOR.then"));
      return status;
    },
    [](tolvane_monitor* self, int32_t signum, tolvane_error* error) {
      const tolvane_status status =
          act("MONITOR.signal_handler", error, "signum=" + std::to_string(signum));
      if (sets_done_itself()) tolvane_flag_store(&self->done, 1);
      return status;
    },
    [](tolvane_monitor* self, tolvane_error* error) {
      const tolvane_status status =
          act("MONITOR.monitor_main", error,
              std::string("res2frd=") + (self->res2frd_path ? self->res2frd_path : "") +
                  " done=" + std::to_string(tolvane_flag_load(&self->done)));
      if (way_of("MONITOR.monitor_main") == "reader") {
        std::thread(steering::keep_streams_busy, "read").detach();
        // Returns once the reader surely waits inside the stream.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      }
      return status;
    },
    [](tolvane_monitor* self) {
      act("MONITOR.release", nullptr);
      delete self;
    }};

}  // namespace

TOLVANE_EXPORT tolvane_converter* CONVERTER(const char* inp_path, const char* dir_path,
                                            tolvane_error* error) {
  const std::string heading = steering::env("TOLVANE_MISBEHAVE_HEADING");
  auto* converter =
      new Converter{{&converter_ops, 0, nullptr},
                    inp_path,
                    inp_path,
                    std::getenv("TOLVANE_MISBEHAVE_HEADING") ? heading : "Misbehaving beam"};
  converter->model.resize(converter->model.size() - std::strlen(".inp"));
  if (act("CONVERTER", error, std::string("deck=") + inp_path + " folder=" + dir_path) !=
      TOLVANE_OK)
    return nullptr;
  return &converter->c;
}
TOLVANE_DECLARE_CONVERTER;

TOLVANE_EXPORT tolvane_editor* EDITOR(const char*, const char* setting, tolvane_error* error) {
  auto* editor = new Editor{{&editor_ops, nullptr}};
  if (way_of("EDITOR") != "no-root") editor->c.root = &editor->window;
  if (act("EDITOR", error, std::string("setting=") + setting) != TOLVANE_OK) return nullptr;
  return &editor->c;
}
TOLVANE_DECLARE_EDITOR;

TOLVANE_EXPORT tolvane_monitor* MONITOR(const char* model_path, const char*, const void* parent,
                                        tolvane_error* error) {
  auto* monitor = new tolvane_monitor{&monitor_ops, nullptr, 0, 0};
  monitor->nogui = steering::env("TOLVANE_MISBEHAVE_NOGUI") == "1" ? 1 : 0;
  if (act("MONITOR", error,
          std::string("model=") + model_path + (parent != nullptr ? " parent" : " null")) !=
      TOLVANE_OK)
    return nullptr;
  return monitor;
}
TOLVANE_DECLARE_MONITOR;
