// The checks of the in-process modules. Each runs the chain's steps up to
// the one it is about, with the launcher's binding and calls, and says
// what was wrong with the first step that broke the contract.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "../components.hpp"
#include "../crash_report.hpp"
#include "../heading.hpp"
#include "../os.hpp"
#include "../platform/file_system.hpp"
#include "../utf.hpp"
#include "check.hpp"

namespace tolvane::check {

namespace {

using namespace std::chrono_literals;

constexpr std::string_view interface_calls = " (docs/components.md, \"How calls go\")";

std::string described(const Failure& failure) { return failure.kind() + ": " + failure.message(); }

[[noreturn]] void stop_thrown(const std::string& where, const Failure& thrown) {
  throw Stop{
      failed(where + " let a C++ exception out across the C interface (" + described(thrown) + ")",
             "catch it and report it: return tolvane_fail(error, kind, message); the "
             "classes of component.hpp do that" +
                 std::string(interface_calls))};
}

// A call that failed: what it reported, or that it said nothing.
[[noreturn]] void stop_failed(const std::string& seen, const char* where,
                              const FailureReport& report, const char* fix_if_reported) {
  throw Stop{failed(seen + " (" + described(report.failure(where)) + ")",
                    report.reported() ? fix_if_reported
                                      : "say why: return tolvane_fail(error, kind, message);" +
                                            std::string(interface_calls))};
}

// A call that reported a failure and went on as if it had succeeded.
[[noreturn]] void stop_reported(const char* where, const FailureReport& report, const char* and_yet,
                                const char* fix) {
  throw Stop{failed(std::string(where) + " reported a failure (" +
                        described(report.failure(where)) + ") and " + and_yet,
                    fix + std::string(interface_calls))};
}

// Calls operation(error) -> tolvane_status as the launcher does; a call
// that fails in any way stops the check with what was wrong.
template <class Operation>
void call(const char* where, Operation&& operation) {
  announce_call(where);
  FailureReport report;
  std::optional<Failure> thrown;
  const tolvane_status status =
      call_across(where, report, thrown, std::forward<Operation>(operation));
  if (thrown) stop_thrown(where, *thrown);
  if (status != TOLVANE_OK)
    stop_failed(std::string(where) + " failed", where, report,
                "it must succeed for a valid deck; check yours with --deck FILE");
  if (report.reported())
    stop_reported(where, report, "returned TOLVANE_OK",
                  "a reported failure is a failure: return tolvane_fail(error, kind, message);");
}

// Calls an entry as the launcher does; an entry that fails in any way, or
// makes an object without every operation, stops the check.
template <class T, class Entry>
Component<T> create(const char* where, const char* where_release, Entry&& entry) {
  announce_call(where);
  FailureReport report;
  std::optional<Failure> thrown;
  T* made = call_across(where, report, thrown, std::forward<Entry>(entry));
  Component<T> object(where_release, made);
  if (thrown) stop_thrown(where, *thrown);
  if (made == nullptr)
    stop_failed(std::string(where) + " returned NULL", where, report,
                "it must make its object for a valid deck; check yours with --deck FILE");
  if (report.reported())
    stop_reported(where, report, "returned an object", "return NULL when it fails");
  try {
    check_operations(where, *made);
  } catch (const Failure& missing) {
    throw Stop{
        failed(missing.message(), "set every operation of its ops" + std::string(interface_calls))};
  }
  return object;
}

template <class T>
void release(Component<T>& component) {
  announce_call(component.where());
  try {
    component.release([] {});
  } catch (const Failure& thrown) {
    stop_thrown(component.where(), thrown);
  }
}

template <class Entry>
Entry bound(const EntryName& name, const Setting& setting) {
  announce_call(name.where);
  try {
    return bind_entry(name, setting.dir).as<Entry>();
  } catch (const Failure& refused) {
    throw Stop{failed(refused.message(), "see docs/components.md, \"Binding\"")};
  }
}

// --- the steps ---------------------------------------------------------------

Component<tolvane_converter> make_converter(const Setting& setting) {
  const auto entry = bound<tolvane_converter_entry>(converter_entry, setting);
  const ChainPaths paths = chain_paths(setting);
  return create<tolvane_converter>("CONVERTER", "CONVERTER.release", [&](tolvane_error* error) {
    return entry(paths.inp_path.c_str(), paths.dir_path.c_str(), error);
  });
}

void convert(Component<tolvane_converter>& converter) {
  call("CONVERTER.main",
       [&](tolvane_error* error) { return converter->ops->main(converter.get(), error); });
  if (converter->dflag != 0)
    throw Stop{failed("CONVERTER.main set dflag for the deck: the conversion failed",
                      "leave dflag 0 when the conversion succeeds; check your own deck with "
                      "--deck FILE (docs/components.md, \"Converter: entry CONVERTER\")")};
}

constexpr const char* sample_heading = "Tolvane check heading";

Component<tolvane_editor> make_editor(const Setting& setting) {
  const auto entry = bound<tolvane_editor_entry>(editor_entry, setting);
  const ChainPaths paths = chain_paths(setting);
  return create<tolvane_editor>("EDITOR", "EDITOR.release", [&](tolvane_error* error) {
    return entry(paths.inp_path.c_str(), paths.setting.c_str(), error);
  });
}

void edit(const Setting& setting, Component<tolvane_editor>& editor, const char* header) {
  const std::string exepath = chain_paths(setting).exepath;
  call("EDITOR.editor", [&](tolvane_error* error) {
    return editor->ops->editor(editor.get(), header, exepath.c_str(), error);
  });
}

void destroy_root(Component<tolvane_editor>& editor) {
  tolvane_window* root = editor->root;
  const std::string fix =
      "set root to the editor's top-level window before editor() returns (in C++: root = "
      "std::make_unique<...>()) (docs/components.md, \"Editor: entry EDITOR\")";
  if (root == nullptr) throw Stop{failed("root is NULL after EDITOR.editor returned", fix)};
  if (root->ops == nullptr || root->ops->destroy == nullptr)
    throw Stop{failed("root has no destroy operation", fix)};
  call("EDITOR.root.destroy",
       [&](tolvane_error* error) { return root->ops->destroy(root, error); });
}

// The monitor and the path it was handed, which it may keep.
struct MonitorRun {
  std::string res2frd_path;
  Component<tolvane_monitor> monitor;
};

std::shared_ptr<MonitorRun> make_monitor(const Setting& setting) {
  const auto entry = bound<tolvane_monitor_entry>(monitor_entry, setting);
  const ChainPaths paths = chain_paths(setting);
  // The model folder is current when MONITOR runs; the monitor alone is
  // checked here, so it is made for it.
  std::filesystem::create_directories(fs_path(paths.model));
  os::chdir(paths.model);
  auto run = std::make_shared<MonitorRun>(
      MonitorRun{paths.res2frd,
                 create<tolvane_monitor>("MONITOR", "MONITOR.release", [&](tolvane_error* error) {
                   return entry(paths.model.c_str(), paths.setting.c_str(), nullptr, error);
                 })});
  run->monitor->res2frd_path = run->res2frd_path.c_str();
  return run;
}

std::atomic_ref<std::int32_t> done_of(tolvane_monitor& monitor) {
  return std::atomic_ref<std::int32_t>(monitor.done);
}

// run_process on a worker thread, as the launcher runs it; the check does
// not wait for it to end, nor does the launcher.
struct Worker {
  std::atomic<bool> returned{false};
  std::mutex mutex;
  std::optional<Verdict> failure;

  std::optional<Verdict> failed_with() {
    std::lock_guard<std::mutex> lock(mutex);
    return failure;
  }
};

std::shared_ptr<Worker> start_unattended(const std::shared_ptr<MonitorRun>& run) {
  tolvane_monitor& monitor = *run->monitor;
  call("MONITOR.nogui_mode",
       [&](tolvane_error* error) { return monitor.ops->nogui_mode(&monitor, error); });
  done_of(monitor).store(0);
  auto worker = std::make_shared<Worker>();
  std::thread([run, worker] {
    mark_worker_thread();
    try {
      call("MONITOR.run_process", [&](tolvane_error* error) {
        return run->monitor->ops->run_process(run->monitor.get(), error);
      });
    } catch (const Stop& stop) {
      std::lock_guard<std::mutex> lock(worker->mutex);
      worker->failure = stop.verdict;
    }
    worker->returned.store(true);
  }).detach();
  return worker;
}

template <class Condition>
bool wait_until(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

constexpr const char* attended_only =
    "the monitor chose the attended mode, with -nogui on the command line too: its unattended "
    "mode is not checked";

// --- the checks ----------------------------------------------------------------

template <class Entry, const EntryName& name>
Entry bind_from(const Setting& setting) {
  return bound<Entry>(name, setting);
}

// A check that passes once its step has kept the contract.
template <auto step>
Verdict passes_after(const Setting& setting) {
  step(setting);
  return passed();
}

Verdict converter_main(const Setting& setting) {
  auto converter = make_converter(setting);
  convert(converter);
  return passed();
}

Verdict converter_heading(const Setting& setting) {
  auto converter = make_converter(setting);
  convert(converter);
  const char* heading = converter->heading;
  const std::string where = " (docs/components.md, \"Converter: entry CONVERTER\")";
  if (heading == nullptr)
    return warned("heading is NULL after CONVERTER.main: the editor gets a null heading",
                  "set heading in main() (in C++: heading = \"...\")" + where);
  const std::string text = heading;
  std::string ignored;
  utf::Utf8Validator validator;
  if (!validator.feed(text, ignored) || !validator.finish())
    return failed("the heading is not valid UTF-8",
                  "text through the interface is UTF-8 (docs/components.md, \"Rules for every "
                  "component\")");
  for (std::size_t i = 0; i < text.size(); ++i)
    if (line_end_at(text, i) != 0)
      return failed("the heading holds a line end at byte " + std::to_string(i),
                    "a heading is one line: no line end could reach the editor of the tool "
                    "form either" +
                        where);
  return passed("\"" + text + "\"");
}

Verdict converter_release(const Setting& setting) {
  auto converter = make_converter(setting);
  convert(converter);
  release(converter);
  return passed();
}

Verdict editor_editor(const Setting& setting) {
  auto editor = make_editor(setting);
  edit(setting, editor, sample_heading);
  return passed();
}

Verdict editor_root(const Setting& setting) {
  auto editor = make_editor(setting);
  edit(setting, editor, sample_heading);
  destroy_root(editor);
  return passed();
}

Verdict editor_release(const Setting& setting) {
  auto editor = make_editor(setting);
  edit(setting, editor, sample_heading);
  destroy_root(editor);
  release(editor);
  return passed();
}

Verdict model_folder(const Setting& setting) {
  const std::string start = os::getcwd();
  std::optional<std::string> header;
  {
    auto converter = make_converter(setting);
    convert(converter);
    if (converter->heading != nullptr) header = converter->heading;
    release(converter);
  }
  os::chdir(start);
  auto editor = make_editor(setting);
  edit(setting, editor, header ? header->c_str() : nullptr);
  destroy_root(editor);
  release(editor);
  const std::string model = chain_paths(setting).model;
  if (!platform::is_directory(model))
    return failed("the model folder " + model + " does not exist once the editor has closed",
                  "the converter or the editor must create it: the launcher creates none, and "
                  "makes it the current folder before it creates the monitor "
                  "(docs/components.md, \"In-process modules\")");
  return passed();
}

Verdict monitor_attended(const Setting& setting) {
  auto run = make_monitor(setting);
  tolvane_monitor& monitor = *run->monitor;
  if (monitor.nogui != 0)
    return passed("the monitor chose the unattended mode: monitor_main is not called");
  call("MONITOR.monitor_main",
       [&](tolvane_error* error) { return monitor.ops->monitor_main(&monitor, error); });
  return passed();
}

Verdict monitor_unattended(const Setting& setting) {
  auto run = make_monitor(setting);
  tolvane_monitor& monitor = *run->monitor;
  if (monitor.nogui == 0) return passed(attended_only);
  const auto worker = start_unattended(run);
  const bool done = wait_until(
      [&] { return done_of(monitor).load() != 0 || worker->failed_with(); }, setting.timeout);
  if (auto failure = worker->failed_with()) return *failure;
  if (done) return passed();
  const std::string fix =
      "set done when the unattended run is over, from run_process, signal_handler or any "
      "thread: tolvane_flag_store(&self->done, 1); (in C++: done = true;) "
      "(docs/components.md, \"Monitor: entry MONITOR\"); a longer run needs --timeout";
  if (worker->returned.load())
    return failed("run_process returned, but done stayed 0 for " + seconds_text(setting.timeout),
                  fix);
  return failed("done stayed 0 for " + seconds_text(setting.timeout) + " while run_process ran",
                fix);
}

Verdict monitor_signal_handler(const Setting& setting) {
  auto run = make_monitor(setting);
  tolvane_monitor& monitor = *run->monitor;
  if (monitor.nogui == 0) return passed(attended_only);
  const auto worker = start_unattended(run);
  std::this_thread::sleep_for(200ms);
  call("MONITOR.signal_handler",
       [&](tolvane_error* error) { return monitor.ops->signal_handler(&monitor, SIGINT, error); });
  return passed();
}

Verdict monitor_release(const Setting& setting) {
  auto run = make_monitor(setting);
  tolvane_monitor& monitor = *run->monitor;
  if (monitor.nogui == 0) {
    call("MONITOR.monitor_main",
         [&](tolvane_error* error) { return monitor.ops->monitor_main(&monitor, error); });
  } else {
    // The launcher gives an unattended monitor back only once run_process
    // has returned.
    const auto worker = start_unattended(run);
    if (!wait_until([&] { return worker->returned.load(); }, setting.timeout))
      return passed("run_process still ran after " + seconds_text(setting.timeout) +
                    ": release is not called before it returns");
    if (auto failure = worker->failed_with()) return *failure;
  }
  release(run->monitor);
  return passed();
}

constexpr auto converter = static_cast<unsigned>(Part::converter_module);
constexpr auto editor = static_cast<unsigned>(Part::editor_module);
constexpr auto monitor = static_cast<unsigned>(Part::monitor_module);

constexpr Check checks[] = {
    {"converter.module", "CONVERTER binds: exported, declared, of this interface version",
     converter, true, false, passes_after<bind_from<tolvane_converter_entry, converter_entry>>},
    {"converter.create", "CONVERTER(deck, folder) makes its object", converter, true, false,
     passes_after<make_converter>},
    {"converter.main", "main() converts the deck and leaves dflag 0", converter, true, false,
     converter_main},
    {"converter.heading", "heading is set, valid UTF-8 and one line", converter, true, false,
     converter_heading},
    {"converter.release", "release gives the object back", converter, true, false,
     converter_release},
    {"editor.module", "EDITOR binds: exported, declared, of this interface version", editor, true,
     false, passes_after<bind_from<tolvane_editor_entry, editor_entry>>},
    {"editor.create", "EDITOR(deck, settings) makes its object", editor, true, false,
     passes_after<make_editor>},
    {"editor.editor", "editor(heading, solver folder) returns", editor, true, false, editor_editor},
    {"editor.root", "root is the window, and its destroy() succeeds", editor, true, false,
     editor_root},
    {"editor.release", "release gives the object back", editor, true, false, editor_release},
    {"model.folder", "the model folder exists once the editor has closed", converter | editor, true,
     false, model_folder},
    {"monitor.module", "MONITOR binds: exported, declared, of this interface version", monitor,
     true, false, passes_after<bind_from<tolvane_monitor_entry, monitor_entry>>},
    {"monitor.create", "MONITOR(model, settings, NULL) makes its object in the model folder",
     monitor, true, false, passes_after<make_monitor>},
    {"monitor.attended", "monitor_main() returns, without -nogui", monitor, true, false,
     monitor_attended},
    {"monitor.unattended",
     "with -nogui: nogui_mode(), then done is set while or after "
     "run_process runs on a worker",
     monitor, true, true, monitor_unattended},
    {"monitor.signal_handler", "with -nogui: signal_handler(SIGINT) succeeds during the run",
     monitor, true, true, monitor_signal_handler},
    {"monitor.release", "release gives the object back once its run is over", monitor, true, true,
     monitor_release},
};

}  // namespace

std::span<const Check> module_checks() { return checks; }

}  // namespace tolvane::check
