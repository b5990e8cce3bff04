#include "main.hpp"

#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include "child_run.hpp"
#include "components.hpp"
#include "failure.hpp"
#include "heading.hpp"
#include "process_info.hpp"

namespace tolvane {

std::string model_path_of(const std::string& inp_path) {
  return inp_path.substr(0, inp_path.size() - 4);
}

Tolvane::Tolvane(std::string inp, std::string dir, std::string exe)
    : inp_path(std::move(inp)), dir_path(std::move(dir)), exepath(std::move(exe)) {
  exe_type = splitext(invocation_path()).second == ".exe" ? "exe_file" : "python";
}

namespace {

using namespace std::chrono_literals;

template <class T>
std::unique_ptr<T> created(const char* where, T* object) {
  if (object == nullptr) throw Failure(where, kind::binding, "the factory returned no object");
  return std::unique_ptr<T>(object);
}

// The short spelling of the final path of the launcher's own directory,
// taken from the running executable, not from the command line.
std::string own_directory() {
  return platform::short_path(realpath(dirname(platform::executable_path())));
}

// The monitor's unattended run: the worker does the work while the main
// thread tests done once a second and routes interrupts to the monitor.
void run_unattended(const std::shared_ptr<component::Monitor>& monitor) {
  call_component("MONITOR.nogui_mode", [&] { monitor->nogui_mode(); });
  monitor->done.store(false);
  std::thread([monitor] {
    try {
      call_component("MONITOR.run_process", [&] { monitor->run_process(); });
    } catch (const Failure& failure) {
      // Nobody waits for this thread: its failure ends only the worker.
      report_failure_on_stderr(failure);
    }
  }).detach();
  // An interrupt from before the monitor's handler took over ends the run.
  check_interrupt("python_exe");
  auto next_test = platform::Clock::now() + 1s;
  for (;;) {
    if (platform::wait_for_interrupt(next_test)) {
      platform::take_interrupt();
      call_component("MONITOR.signal_handler", [&] { monitor->signal_handler(SIGINT); });
      continue;
    }
    if (monitor->done.load()) return;
    next_test += 1s;
  }
}

}  // namespace

void Tolvane::python_exe() {
  const ComponentEntries entries = bind_components();
  root_dir = own_directory();
  const std::string init_dir = getcwd();
  setting = join(*root_dir, "session.xml");

  std::optional<std::string> header;
  {
    auto convert = created("CONVERTER", call_component("CONVERTER", [&] {
                             return entries.converter(inp_path, dir_path);
                           }));
    call_component("CONVERTER.main", [&] { convert->main(); });
    check_interrupt("CONVERTER.main");
    if (convert->dflag) throw ExitRequest{1};
    header = convert->heading;
  }
  chdir(init_dir);

  {
    auto editor = created("EDITOR", call_component("EDITOR", [&] {
                            return entries.editor(inp_path, *setting);
                          }));
    call_component("EDITOR.editor", [&] { editor->editor(header, exepath); });
    check_interrupt("EDITOR.editor");
    if (!editor->root) throw Failure("EDITOR.root", kind::binding, "the editor has no root window");
    call_component("EDITOR.root.destroy", [&] { editor->root->destroy(); });
  }

  const std::string model_path = model_path_of(inp_path);
  chdir(model_path);
  std::shared_ptr<component::Monitor> monitor =
      created("MONITOR", call_component("MONITOR", [&] {
                return entries.monitor(model_path, *setting, nullptr);
              }));
  monitor->res2frd_path = join(join(*root_dir, "exes"), "res2frd.exe");
  if (!monitor->nogui) {
    call_component("MONITOR.monitor_main", [&] { monitor->monitor_main(); });
    check_interrupt("MONITOR.monitor_main");
    return;
  }
  run_unattended(monitor);
}

void Tolvane::file_exe() {
  root_dir = dirname(abspath(invocation_path()));
  setting = join(*root_dir, "session.xml");
  const std::string exe_dir = join(*root_dir, "tools");

  const std::string converter = join(exe_dir, "inp_converter.exe");
  const ConverterResult converted =
      run_converter("inp_converter.exe", converter, {converter, inp_path});
  if (converted.decode_error)
    throw Failure("inp_converter.exe", kind::decode, *converted.decode_error);
  if (converted.exit_code != 0) throw ExitRequest{1};
  if (!converted.last_line)
    throw Failure("inp_converter.exe", kind::bad_output,
                  "the converter ended without writing its header line");
  const std::string header = heading_of(*converted.last_line);

  const std::string editor = join(exe_dir, "editor.exe");
  if (run_component("editor.exe", editor,
                    {editor, inp_path, exepath, "-setting", *setting, "-header", header}) != 0)
    throw ExitRequest{2};

  const std::string monitor = join(exe_dir, "monitor.exe");
  if (run_component("monitor.exe", monitor,
                    {monitor, model_path_of(inp_path), "-setting", *setting}) != 0)
    throw ExitRequest{3};
}

void Tolvane::main() {
  if (exe_type == "python")
    python_exe();
  else
    file_exe();
}

}  // namespace tolvane
