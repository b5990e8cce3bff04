// The in-process pipeline, Tolvane::python_exe: the three modules bound,
// each component created, called and given back in turn, the current
// folder managed around them, and the monitor's unattended mode with its
// worker, its interrupt handler and its once-a-second wait.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "binding.hpp"
#include "chain_observer.hpp"
#include "component_calls.hpp"
#include "crash_report.hpp"
#include "diagnostics.hpp"
#include "failure.hpp"
#include "interruption.hpp"
#include "main.hpp"
#include "platform/interrupts.hpp"

namespace tolvane {

namespace {

using namespace std::chrono_literals;

// Once the monitor's work is over, its release may take this long before
// the run ends without it: it must not hold the end.
constexpr auto release_bound = 500ms;

// The call of an object's release: it has no way to fail but a crash or an
// exception.
template <class T>
auto releasing(T* object) {
  return [object](tolvane_error*) {
    object->ops->release(object);
    return TOLVANE_OK;
  };
}

// The calls of one run, each shown to the observer. The observer outlives
// the run: the worker and a late release still report to it.
class Calls {
 public:
  explicit Calls(ChainObserver* observer) : observer_(observer) {}

  template <class Operation>
  CallResult call(const char* where, Operation&& operation) const {
    observer_->calling(where);
    CallResult result = call_across(where, operation);
    observer_->returned(where, result);
    return result;
  }

  // A call on the main thread. Until the monitor's handler takes
  // interrupts over, one that arrived during a call ends the run as soon
  // as the call returns, naming that call, and nothing more is called.
  template <class Operation>
  void operate(const char* where, Operation&& operation) const {
    CallResult result = call(where, operation);
    end_if_interrupted(where);
    if (result.failure) throw *std::move(result.failure);
  }

  // An entry's call. A null object, a reported failure or an exception
  // throws the failure; an object made all the same is kept, not given
  // back (see Component).
  template <class T, class Entry>
  Component<T> construct(const char* where, const char* where_release, Entry&& entry) const {
    T* made = nullptr;
    CallResult result = call(where, [&](tolvane_error* error) {
      made = entry(error);
      return made != nullptr ? TOLVANE_OK : TOLVANE_FAILED;
    });
    Component<T> object(where_release, made);
    end_if_interrupted(where);
    if (result.failure) throw *std::move(result.failure);
    if (auto missing = missing_operation(where, *made)) throw *std::move(missing);
    return object;
  }

  template <class T>
  void release(Component<T>& component) const {
    T* object = component.release_ownership();
    operate(component.where_release(), releasing(object));
  }

  ChainObserver& observer() const { return *observer_; }

 private:
  ChainObserver* observer_;
};

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
// error and ends only the worker. (Not noexcept: a component that ends the
// worker once the monitor is done lets it unwind to its end.)
template <class Body>
void on_worker(const char* where, Body&& body) {
  try {
    std::forward<Body>(body)();
  } catch (const Failure& failure) {
    report_failure_on_stderr(failure);
  } catch (const std::bad_alloc&) {
    report_without_allocating(where, kind::memory, "out of memory");
  }
}

CallResult release_call(const Calls& calls, tolvane_monitor* object) {
  return calls.call("MONITOR.release", releasing(object));
}

// Gives the monitor back once its work is over, on a thread of its own, and
// waits for that at most release_bound: a release that does not return
// does not hold the end of the run. A failure of a release that returned
// in time is the run's.
void release_monitor(const Calls& calls, MonitorRun& run, bool interruptible) {
  struct Release {
    std::mutex mutex;
    std::condition_variable over;
    bool returned = false;
    std::optional<Failure> failure;
  };
  auto state = std::make_shared<Release>();
  tolvane_monitor* object = run.monitor.release_ownership();
  std::thread([state, calls, object] {
    prepare_thread_for_crashes();
    let_thread_end_once(&object->done);
    CallResult result = release_call(calls, object);
    const std::lock_guard<std::mutex> lock(state->mutex);
    state->failure = std::move(result.failure);
    state->returned = true;
    state->over.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(state->mutex);
  const bool returned = state->over.wait_for(lock, release_bound, [&] { return state->returned; });
  if (interruptible) end_if_interrupted("MONITOR.release");
  if (returned && state->failure) throw *state->failure;
}

// The monitor's unattended run: the worker does the work while the main
// thread tests done once a second and routes interrupts to the monitor.
void run_unattended(const Calls& calls, const std::shared_ptr<MonitorRun>& run) {
  tolvane_monitor& monitor = *run->monitor;
  calls.operate("MONITOR.nogui_mode",
                [&](tolvane_error* error) { return monitor.ops->nogui_mode(&monitor, error); });
  calls.observer().unattended(monitor);
  std::atomic_ref<std::int32_t>(monitor.done).store(0);
  run->users.fetch_add(1, std::memory_order_relaxed);  // the worker's, from now on
  std::thread([run, calls] {
    prepare_thread_for_crashes();
    let_thread_end_once(&run->monitor->done);
    on_worker("MONITOR.run_process", [&] {
      CallResult result = calls.call("MONITOR.run_process", [&](tolvane_error* error) {
        return run->monitor->ops->run_process(run->monitor.get(), error);
      });
      if (result.failure) throw *std::move(result.failure);
    });
    // The last one to hold the monitor gives it back.
    if (run->last_to_leave())
      on_worker("MONITOR.release", [&] {
        CallResult result = release_call(calls, run->monitor.release_ownership());
        if (result.failure) throw *std::move(result.failure);
      });
  }).detach();
  // An interrupt from before the monitor's handler took over ends the run.
  end_if_interrupted("python_exe");
  auto next_test = platform::Clock::now() + 1s;
  for (;;) {
    calls.observer().waiting(monitor);
    if (platform::wait_for_interrupt(next_test)) {
      platform::take_interrupt();
      CallResult result = calls.call("MONITOR.signal_handler", [&](tolvane_error* error) {
        return monitor.ops->signal_handler(&monitor, SIGINT, error);
      });
      if (result.failure) throw *std::move(result.failure);
      continue;
    }
    if (monitor_done(monitor)) break;
    // Threads that appeared meanwhile are most likely run_process's.
    note_threads_of("MONITOR.run_process");
    next_test += 1s;
  }
  if (run->last_to_leave()) release_monitor(calls, *run, false);
}

}  // namespace

void Tolvane::python_exe() {
  const Calls calls(chain.observer != nullptr ? chain.observer : &nobody_watching());
  ModuleFolder own_modules(chain.program_folder);
  const ComponentEntries entries =
      bind_components(chain.modules != nullptr ? *chain.modules : own_modules);
  // Loading the modules ran their initialisers.
  end_if_interrupted("python_exe");
  root_dir = platform::short_path(chain.program_folder);
  const std::string init_dir = os::getcwd();
  setting = os::path::join(*root_dir, settings_file);

  std::optional<std::string> header;
  {
    auto convert = calls.construct<tolvane_converter>(
        "CONVERTER", "CONVERTER.release", [&](tolvane_error* error) {
          return entries.converter.as<tolvane_converter_entry>()(inp_path.c_str(), dir_path.c_str(),
                                                                 error);
        });
    calls.operate("CONVERTER.main",
                  [&](tolvane_error* error) { return convert->ops->main(convert.get(), error); });
    if (convert->dflag != 0) throw ExitRequest{kind_of(Role::converter).failed_status};
    if (convert->heading != nullptr) header = std::string(convert->heading);
    calls.observer().headed(header);
    calls.release(convert);
  }
  os::chdir(init_dir);

  {
    auto editor =
        calls.construct<tolvane_editor>("EDITOR", "EDITOR.release", [&](tolvane_error* error) {
          return entries.editor.as<tolvane_editor_entry>()(inp_path.c_str(), setting->c_str(),
                                                           error);
        });
    calls.operate("EDITOR.editor", [&](tolvane_error* error) {
      return editor->ops->editor(editor.get(), header ? header->c_str() : nullptr, exepath.c_str(),
                                 error);
    });
    tolvane_window* root = editor->root;
    if (root == nullptr || root->ops == nullptr || root->ops->destroy == nullptr)
      throw Failure("EDITOR.root", kind::missing_attribute, "the editor has no root window");
    calls.operate("EDITOR.root.destroy",
                  [&](tolvane_error* error) { return root->ops->destroy(root, error); });
    calls.release(editor);
  }

  const std::string model_path = model_path_of(inp_path);
  os::chdir(model_path);
  auto run = std::make_shared<MonitorRun>(
      os::path::join(os::path::join(*root_dir, result_converter_folder), result_converter_file),
      calls.construct<tolvane_monitor>("MONITOR", "MONITOR.release", [&](tolvane_error* error) {
        return entries.monitor.as<tolvane_monitor_entry>()(model_path.c_str(), setting->c_str(),
                                                           nullptr, error);
      }));
  tolvane_monitor& monitor = *run->monitor;
  monitor.res2frd_path = run->res2frd_path.c_str();
  if (monitor.nogui == 0) {
    calls.operate("MONITOR.monitor_main",
                  [&](tolvane_error* error) { return monitor.ops->monitor_main(&monitor, error); });
    release_monitor(calls, *run, true);
    return;
  }
  run_unattended(calls, run);
}

}  // namespace tolvane
