// Tolvane in-process component interface.
//
// A component module is a shared library in the launcher's own directory:
// "inp_converter/main", "editor/gui" and "monitor/gui", each with the
// platform's suffix (".dll" on Windows, ".so" elsewhere). Each exports one
// factory under its entry's name, declared below. The launcher owns what a
// factory returns and deletes it through the virtual destructor, so build
// a module with the same compiler and standard library as the launcher.
//
// Exceptions thrown from a constructor or an operation reach the launcher,
// which reports them (with the component and operation) and ends with
// status 1.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#if defined(_WIN32)
#define TOLVANE_COMPONENT_EXPORT extern "C" __declspec(dllexport)
#else
#define TOLVANE_COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace tolvane::component {

// Entry CONVERTER of module "inp_converter.main".
class Converter {
 public:
  virtual ~Converter() = default;
  // Performs the conversion; may leave another current directory behind.
  virtual void main() = 0;

  // Read after main() returns: true when the conversion failed.
  bool dflag = false;
  // Read after main() returns and handed to the editor unchanged; may be
  // null.
  std::optional<std::string> heading;
};

// The editor's top-level window.
class Window {
 public:
  virtual ~Window() = default;
  virtual void destroy() = 0;
};

// Entry EDITOR of module "editor.gui".
class Editor {
 public:
  virtual ~Editor() = default;
  // Lets the user edit; returns when the user has finished.
  virtual void editor(const std::optional<std::string>& header, const std::string& exepath) = 0;

  // Must be set by the constructor.
  std::unique_ptr<Window> root;
};

// Entry MONITOR of module "monitor.gui".
class Monitor {
 public:
  virtual ~Monitor() = default;

  // Unattended mode only: called on the main thread first.
  virtual void nogui_mode() = 0;
  // Unattended mode only: runs on a worker thread; must see that done
  // becomes true when the run is over.
  virtual void run_process() = 0;
  // Unattended mode only: called on the main thread after SIGINT.
  virtual void signal_handler(int signum) = 0;
  // Attended mode: runs the user interface, returns when the user is done.
  virtual void monitor_main() = 0;

  // Written by the launcher right after construction.
  std::string res2frd_path;
  // Read once by the launcher; true selects the unattended mode.
  bool nogui = false;
  // Written false by the launcher before the worker starts, then read on
  // the main thread once a second while the worker may set it.
  std::atomic<bool> done{false};
};

// The factories' types. The current directory is the model directory
// when MONITOR runs; its third argument is always null.
using ConverterFactory = Converter* (*)(const std::string& inp_path, const std::string& dir_path);
using EditorFactory = Editor* (*)(const std::string& inp_path, const std::string& setting);
using MonitorFactory = Monitor* (*)(const std::string& model_path, const std::string& setting,
                                    const void* parent);

}  // namespace tolvane::component

// A module defines its factory like this:
//   TOLVANE_COMPONENT_EXPORT tolvane::component::Converter*
//   CONVERTER(const std::string& inp_path, const std::string& dir_path) { ... }
