#include "main.hpp"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "components.hpp"
#include "crash_report.hpp"
#include "failure.hpp"
#include "heading.hpp"
#include "interruption.hpp"
#include "platform/interrupts.hpp"
#include "process_info.hpp"
#include "tool_runs.hpp"

namespace tolvane {

std::string model_path_of(const std::string& inp_path) {
  return inp_path.substr(0, inp_path.size() - deck_suffix.size());
}

Tolvane::Tolvane(std::string inp, std::string dir, std::string exe)
    : inp_path(std::move(inp)), dir_path(std::move(dir)), exepath(std::move(exe)) {
  exe_type = os::path::splitext(invocation_path()).second == ".exe" ? "exe_file" : "python";
}

namespace {

using namespace std::chrono_literals;

// Calls into a component on the main thread. Until the monitor's handler
// takes interrupts over, one that arrived during a call ends the run as
// soon as the call returns, naming that call, and nothing more is called.
template <class Operation>
void operate(const char* where, Operation&& operation) {
  call_component(where, std::forward<Operation>(operation), [where] { end_if_interrupted(where); });
}

template <class T, class Entry>
Component<T> construct(const char* where, const char* where_release, Entry&& entry) {
  return create_component<T>(where, where_release, std::forward<Entry>(entry),
                             [where] { end_if_interrupted(where); });
}

template <class T>
void release(Component<T>& component) {
  component.release([where = component.where()] { end_if_interrupted(where); });
}

// The monitor and the text it was handed, alive as long as the pipeline or
// the worker still uses them.
struct MonitorRun {
  MonitorRun(std::string path, Component<tolvane_monitor> made)
      : res2frd_path(std::move(path)), monitor(std::move(made)) {}

  // The pipeline and, once it runs, the worker: the last of them to be done
  // with the monitor gives it back. The count orders the other's last use
  // of the monitor before that.
  bool last_to_leave() { return users.fetch_sub(1, std::memory_order_acq_rel) == 1; }

  std::string res2frd_path;  // outlives the monitor, which may keep the pointer
  Component<tolvane_monitor> monitor;
  std::atomic<int> users{1};
};

bool monitor_done(tolvane_monitor& monitor) {
  return std::atomic_ref<std::int32_t>(monitor.done).load() != 0;
}

// Nobody waits for the worker: a failure there is reported on standard
// error and ends only the worker.
template <class Body>
void on_worker(const char* where, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (const Failure& failure) {
    report_failure_on_stderr(failure);
  } catch (const std::bad_alloc&) {
    report_without_allocating(where, kind::memory, "out of memory");
  }
}

// The monitor's unattended run: the worker does the work while the main
// thread tests done once a second and routes interrupts to the monitor.
void run_unattended(const std::shared_ptr<MonitorRun>& run) {
  tolvane_monitor& monitor = *run->monitor;
  operate("MONITOR.nogui_mode",
          [&](tolvane_error* error) { return monitor.ops->nogui_mode(&monitor, error); });
  std::atomic_ref<std::int32_t>(monitor.done).store(0);
  run->users.fetch_add(1, std::memory_order_relaxed);  // the worker's, from now on
  std::thread([run] {
    mark_worker_thread();
    on_worker("MONITOR.run_process", [&] {
      call_component("MONITOR.run_process", [&](tolvane_error* error) {
        return run->monitor->ops->run_process(run->monitor.get(), error);
      });
    });
    // The last one to hold the monitor gives it back.
    if (run->last_to_leave()) on_worker("MONITOR.release", [&] { run->monitor.release([] {}); });
  }).detach();
  // An interrupt from before the monitor's handler took over ends the run.
  end_if_interrupted("python_exe");
  auto next_test = platform::Clock::now() + 1s;
  for (;;) {
    if (platform::wait_for_interrupt(next_test)) {
      platform::take_interrupt();
      call_component("MONITOR.signal_handler", [&](tolvane_error* error) {
        return monitor.ops->signal_handler(&monitor, SIGINT, error);
      });
      continue;
    }
    if (monitor_done(monitor)) break;
    next_test += 1s;
  }
  if (run->last_to_leave()) run->monitor.release([] {});
}

}  // namespace

void Tolvane::python_exe() {
  const ComponentEntries entries = bind_components();
  // Loading the modules ran their initialisers.
  end_if_interrupted("python_exe");
  root_dir = short_program_directory();
  const std::string init_dir = os::getcwd();
  setting = os::path::join(*root_dir, "session.xml");

  std::optional<std::string> header;
  {
    auto convert =
        construct<tolvane_converter>("CONVERTER", "CONVERTER.release", [&](tolvane_error* error) {
          return entries.converter.as<tolvane_converter_entry>()(inp_path.c_str(), dir_path.c_str(),
                                                                 error);
        });
    operate("CONVERTER.main",
            [&](tolvane_error* error) { return convert->ops->main(convert.get(), error); });
    if (convert->dflag != 0) throw ExitRequest{1};
    if (convert->heading != nullptr) header = std::string(convert->heading);
    release(convert);
  }
  os::chdir(init_dir);

  {
    auto editor = construct<tolvane_editor>("EDITOR", "EDITOR.release", [&](tolvane_error* error) {
      return entries.editor.as<tolvane_editor_entry>()(inp_path.c_str(), setting->c_str(), error);
    });
    operate("EDITOR.editor", [&](tolvane_error* error) {
      return editor->ops->editor(editor.get(), header ? header->c_str() : nullptr, exepath.c_str(),
                                 error);
    });
    tolvane_window* root = editor->root;
    if (root == nullptr || root->ops == nullptr || root->ops->destroy == nullptr)
      throw Failure("EDITOR.root", kind::missing_attribute, "the editor has no root window");
    operate("EDITOR.root.destroy",
            [&](tolvane_error* error) { return root->ops->destroy(root, error); });
    release(editor);
  }

  const std::string model_path = model_path_of(inp_path);
  os::chdir(model_path);
  auto run = std::make_shared<MonitorRun>(
      os::path::join(os::path::join(*root_dir, "exes"), "res2frd.exe"),
      construct<tolvane_monitor>("MONITOR", "MONITOR.release", [&](tolvane_error* error) {
        return entries.monitor.as<tolvane_monitor_entry>()(model_path.c_str(), setting->c_str(),
                                                           nullptr, error);
      }));
  tolvane_monitor& monitor = *run->monitor;
  monitor.res2frd_path = run->res2frd_path.c_str();
  if (monitor.nogui == 0) {
    operate("MONITOR.monitor_main",
            [&](tolvane_error* error) { return monitor.ops->monitor_main(&monitor, error); });
    release(run->monitor);
    return;
  }
  run_unattended(run);
}

void Tolvane::file_exe() {
  root_dir = invocation_directory();
  setting = os::path::join(*root_dir, "session.xml");
  const std::string exe_dir = os::path::join(*root_dir, "tools");

  const std::string converter = os::path::join(exe_dir, "inp_converter.exe");
  const ConverterResult converted =
      run_converter_tool("inp_converter.exe", converter, {converter, inp_path});
  if (converted.decode_error)
    throw Failure("inp_converter.exe", kind::decode, *converted.decode_error);
  if (converted.exit_code != 0) throw ExitRequest{1};
  if (!converted.last_line)
    throw Failure("inp_converter.exe", kind::bad_value,
                  "the converter ended without writing its header line");
  if (converted.last_line_too_long)
    throw Failure("inp_converter.exe", kind::bad_value,
                  "the converter's last line is longer than a command line can carry (over " +
                      std::to_string(longest_kept_line) + " bytes)");
  const std::string header = heading_of(*converted.last_line);

  const std::string editor = os::path::join(exe_dir, "editor.exe");
  if (run_tool("editor.exe", editor,
               {editor, inp_path, exepath, "-setting", *setting, "-header", header}) != 0)
    throw ExitRequest{2};

  const std::string monitor = os::path::join(exe_dir, "monitor.exe");
  if (run_tool("monitor.exe", monitor, {monitor, model_path_of(inp_path), "-setting", *setting}) !=
      0)
    throw ExitRequest{3};
}

void Tolvane::main() {  // NOLINT(bugprone-exception-escape): see main.hpp
  if (exe_type == "python")
    python_exe();
  else
    file_exe();
}

}  // namespace tolvane
