// SPDX-License-Identifier: MIT
// Tolvane in-process components in C++: a header-only layer over the C
// interface of component.h (C++17 or later, any compiler).
//
// Derive from Converter, Editor or Monitor and export the entry with one
// macro:
//
//   class Beam final : public tolvane::component::Converter {
//    public:
//     Beam(const std::string& inp_path, const std::string& dir_path);
//     void main() override { heading = "Cantilever beam"; }
//   };
//   TOLVANE_EXPORT_CONVERTER(Beam);
//
// The constructors take the entries' arguments as std::string (the
// monitor's third one is always null). An exception that leaves a
// constructor or an operation becomes the call's reported failure: its
// kind is the exception's type name, its message what(). No exception
// ever crosses into the launcher, and the launcher never touches this
// layer's C++ objects: it sees only the C structs.
//
// Open or name files through fs_path(text), which turns the launcher's
// text into the very file name on every platform (see component.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>

#include "component.h"

#if defined(__has_include)
#if __has_include(<cxxabi.h>)
#include <cxxabi.h>

#include <cstdlib>
#define TOLVANE_COMPONENT_DEMANGLE_ 1
#endif
#endif

namespace tolvane::component {

class Converter;
class Window;
class Editor;
class Monitor;

namespace detail {

// Each C struct sits first in a handle that points back to its C++ object.
// The launcher holds the C struct's address, so a handle never moves, and
// no object that holds one can be copied.
struct Pinned {
  Pinned() = default;
  Pinned(const Pinned&) = delete;
  Pinned& operator=(const Pinned&) = delete;
};
template <class C, class Object>
struct Handle {
  C c;
  Object* self;
  Pinned pinned{};
};

template <class C, class Object>
Object& object_of(C* c) {
  return *reinterpret_cast<Handle<C, Object>*>(c)->self;
}

inline std::string type_name(const std::type_info& type) {
#if defined(TOLVANE_COMPONENT_DEMANGLE_)
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  if (status == 0 && demangled) return demangled.get();
#endif
  std::string name = type.name();  // MSVC: "class std::runtime_error"
  for (const char* prefix : {"class ", "struct "})
    if (name.rfind(prefix, 0) == 0) return name.substr(std::char_traits<char>::length(prefix));
  return name;
}

// Runs body; an exception becomes a report through error. What body wrote
// to standard output and standard error through the C streams is flushed,
// as the launcher ends the process without this module's clean-up. Not
// every stream: that would wait for a thread of the module's own that
// reads standard input.
template <class Body>
tolvane_status guarded(tolvane_error* error, Body&& body) noexcept {
  struct Flush {
    ~Flush() {
      (void)std::fflush(stdout);
      (void)std::fflush(stderr);
    }
  } flush;
  try {
    std::forward<Body>(body)();
    return TOLVANE_OK;
  } catch (const std::exception& e) {
    try {
      error->report(error, type_name(typeid(e)).c_str(), e.what());
    } catch (...) {
      error->report(error, "MemoryError", "out of memory");
    }
  } catch (...) {
    error->report(error, "exception", "an exception of unknown type");
  }
  return TOLVANE_FAILED;
}

// The C struct of a new T made by make(), which also converts the entry's
// arguments, so that running out of memory there is reported too.
template <class T, class Make>
auto* created(tolvane_error* error, Make make) noexcept {
  T* object = nullptr;
  guarded(error, [&] { object = make(); });
  return object ? object->c_struct() : nullptr;
}

}  // namespace detail

// The file system path of a name from the launcher (a deck, a folder):
// on Windows decoded as tolvane_fopen decodes it, so that a name with a
// lone surrogate is that very name again; elsewhere its bytes as they are.
// Use it wherever a component opens or names a file.
inline std::filesystem::path fs_path(const std::string& utf8) {
#if defined(_WIN32)
  std::wstring wide(utf8.size() + 1, L'\0');
  wide.resize(tolvane_utf16_from_utf8(utf8.data(), utf8.size(), wide.data()));
  return std::filesystem::path(std::move(wide));
#else
  return std::filesystem::path(utf8);
#endif
}

// Entry CONVERTER of module "inp_converter.main".
class Converter {
 public:
  virtual ~Converter() = default;
  // Performs the conversion; may leave another current folder behind.
  virtual void main() = 0;

  // Read after main() returns: true when the conversion failed.
  bool dflag = false;
  // Read after main() returns and handed to the editor unchanged; may be
  // null. A NUL in it could not travel on whole, so it fails main().
  std::optional<std::string> heading;

  tolvane_converter* c_struct() noexcept { return &handle_.c; }

 protected:
  Converter() = default;

 private:
  static tolvane_status call_main(tolvane_converter* c, tolvane_error* error) noexcept {
    Converter& self = detail::object_of<tolvane_converter, Converter>(c);
    return detail::guarded(error, [&] {
      self.main();
      if (self.heading && self.heading->find('\0') != std::string::npos)
        throw std::invalid_argument("the heading holds a NUL character");
      c->dflag = self.dflag ? 1 : 0;
      c->heading = self.heading ? self.heading->c_str() : nullptr;
    });
  }
  static void release(tolvane_converter* c) noexcept {
    delete &detail::object_of<tolvane_converter, Converter>(c);
  }
  static constexpr tolvane_converter_ops ops_{&call_main, &release};
  detail::Handle<tolvane_converter, Converter> handle_{{&ops_, 0, nullptr}, this};
};

// The editor's top-level window.
class Window {
 public:
  virtual ~Window() = default;
  virtual void destroy() = 0;

  tolvane_window* c_struct() noexcept { return &handle_.c; }

 protected:
  Window() = default;

 private:
  static tolvane_status call_destroy(tolvane_window* c, tolvane_error* error) noexcept {
    return detail::guarded(error, [&] { detail::object_of<tolvane_window, Window>(c).destroy(); });
  }
  static constexpr tolvane_window_ops ops_{&call_destroy};
  detail::Handle<tolvane_window, Window> handle_{{&ops_}, this};
};

// Entry EDITOR of module "editor.gui".
class Editor {
 public:
  virtual ~Editor() = default;
  // Lets the user edit; returns when the user has finished.
  virtual void editor(const std::optional<std::string>& header, const std::string& exepath) = 0;

  // Set by the constructor (or by editor()); read after editor() returns.
  std::unique_ptr<Window> root;

  tolvane_editor* c_struct() noexcept {
    publish_root();
    return &handle_.c;
  }

 protected:
  Editor() = default;

 private:
  void publish_root() noexcept { handle_.c.root = root ? root->c_struct() : nullptr; }
  static tolvane_status call_editor(tolvane_editor* c, const char* header, const char* exepath,
                                    tolvane_error* error) noexcept {
    Editor& self = detail::object_of<tolvane_editor, Editor>(c);
    return detail::guarded(error, [&] {
      self.editor(header ? std::optional<std::string>(header) : std::nullopt, exepath);
      self.publish_root();
    });
  }
  static void release(tolvane_editor* c) noexcept {
    delete &detail::object_of<tolvane_editor, Editor>(c);
  }
  static constexpr tolvane_editor_ops ops_{&call_editor, &release};
  detail::Handle<tolvane_editor, Editor> handle_{{&ops_, nullptr}, this};
};

// A flag that the monitor may set from any thread while the launcher reads
// it: `done = true`, `done.store(true)`, `if (done)`, `done.load()`.
class DoneFlag {
 public:
  explicit DoneFlag(std::int32_t& flag) noexcept : flag_(&flag) {}
  DoneFlag(const DoneFlag&) = delete;
  DoneFlag& operator=(const DoneFlag&) = delete;

  void store(bool value) noexcept { tolvane_flag_store(flag_, value ? 1 : 0); }
  bool load() const noexcept { return tolvane_flag_load(flag_) != 0; }
  DoneFlag& operator=(bool value) noexcept {
    store(value);
    return *this;
  }
  operator bool() const noexcept { return load(); }

 private:
  std::int32_t* flag_;
};

// Entry MONITOR of module "monitor.gui".
class Monitor {
  // First, so that done can refer to it.
  detail::Handle<tolvane_monitor, Monitor> handle_{{&ops_, nullptr, 0, 0}, this};

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

  // Written by the launcher right after construction; here from the first
  // operation (nogui_mode or monitor_main) on.
  std::string res2frd_path;
  // Read once by the launcher right after construction; true selects the
  // unattended mode.
  bool nogui = false;
  // Written false by the launcher before the worker starts, then read on
  // the main thread once a second while the worker may set it.
  DoneFlag done{handle_.c.done};

  tolvane_monitor* c_struct() noexcept {
    handle_.c.nogui = nogui ? 1 : 0;
    return &handle_.c;
  }

 protected:
  Monitor() = default;

 private:
  static Monitor& self(tolvane_monitor* c) {
    return detail::object_of<tolvane_monitor, Monitor>(c);
  }
  // Both modes begin on the main thread with one of these two, before the
  // worker exists: the one place to take res2frd_path over.
  void take_res2frd_path() { res2frd_path = handle_.c.res2frd_path ? handle_.c.res2frd_path : ""; }
  static tolvane_status call_nogui_mode(tolvane_monitor* c, tolvane_error* error) noexcept {
    return detail::guarded(error, [&] {
      self(c).take_res2frd_path();
      self(c).nogui_mode();
    });
  }
  static tolvane_status call_run_process(tolvane_monitor* c, tolvane_error* error) noexcept {
    return detail::guarded(error, [&] { self(c).run_process(); });
  }
  static tolvane_status call_signal_handler(tolvane_monitor* c, std::int32_t signum,
                                            tolvane_error* error) noexcept {
    return detail::guarded(error, [&] { self(c).signal_handler(static_cast<int>(signum)); });
  }
  static tolvane_status call_monitor_main(tolvane_monitor* c, tolvane_error* error) noexcept {
    return detail::guarded(error, [&] {
      self(c).take_res2frd_path();
      self(c).monitor_main();
    });
  }
  static void release(tolvane_monitor* c) noexcept { delete &self(c); }
  static constexpr tolvane_monitor_ops ops_{&call_nogui_mode, &call_run_process,
                                            &call_signal_handler, &call_monitor_main, &release};
};

// The C entries for a class, for a module that binds them itself (a test)
// rather than through the export macros. (created() catches whatever new
// throws, which the NOLINT tells clang-tidy.)
// NOLINTBEGIN(bugprone-unhandled-exception-at-new)
template <class T>
tolvane_converter* converter_entry(const char* inp_path, const char* dir_path,
                                   tolvane_error* error) noexcept {
  return detail::created<T>(error,
                            [&] { return new T(std::string(inp_path), std::string(dir_path)); });
}
template <class T>
tolvane_editor* editor_entry(const char* inp_path, const char* setting,
                             tolvane_error* error) noexcept {
  return detail::created<T>(error,
                            [&] { return new T(std::string(inp_path), std::string(setting)); });
}
template <class T>
tolvane_monitor* monitor_entry(const char* model_path, const char* setting, const void* parent,
                               tolvane_error* error) noexcept {
  return detail::created<T>(
      error, [&] { return new T(std::string(model_path), std::string(setting), parent); });
}
// NOLINTEND(bugprone-unhandled-exception-at-new)

}  // namespace tolvane::component

// Exports the entry for a class and declares it; follow with a semicolon:
// TOLVANE_EXPORT_CONVERTER(Beam);
// It makes a definition, which no parentheses may enclose.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define TOLVANE_EXPORT_ENTRY_(NAME, MAKE, Class, Result, PARAMETERS, ARGUMENTS)                  \
  TOLVANE_EXPORT Result* NAME PARAMETERS { return ::tolvane::component::MAKE<Class> ARGUMENTS; } \
  TOLVANE_DECLARE_##NAME
// NOLINTEND(bugprone-macro-parentheses)
#define TOLVANE_EXPORT_CONVERTER(Class)                                                     \
  TOLVANE_EXPORT_ENTRY_(CONVERTER, converter_entry, Class, tolvane_converter,               \
                        (const char* inp_path, const char* dir_path, tolvane_error* error), \
                        (inp_path, dir_path, error))
#define TOLVANE_EXPORT_EDITOR(Class)                                                       \
  TOLVANE_EXPORT_ENTRY_(EDITOR, editor_entry, Class, tolvane_editor,                       \
                        (const char* inp_path, const char* setting, tolvane_error* error), \
                        (inp_path, setting, error))
#define TOLVANE_EXPORT_MONITOR(Class)                                                          \
  TOLVANE_EXPORT_ENTRY_(                                                                       \
      MONITOR, monitor_entry, Class, tolvane_monitor,                                          \
      (const char* model_path, const char* setting, const void* parent, tolvane_error* error), \
      (model_path, setting, parent, error))
