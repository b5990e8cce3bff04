/* Tolvane in-process component interface, version 1.0: plain C, so that a
 * module built by any C or C++ compiler can serve the launcher.
 *
 * A component module is a shared library in the launcher's own folder:
 * "inp_converter/main", "editor/gui" or "monitor/gui", with the platform's
 * suffix (".dll" on Windows, ".so" elsewhere). It exports the entries it
 * provides (CONVERTER, EDITOR, MONITOR) and, for each, its declaration
 * (TOLVANE_DECLARE_CONVERTER and the like, below), which tells the launcher
 * the interface version the module was built for. The launcher refuses a
 * module built for another major version, or an entry without a
 * declaration, before it creates any component object.
 *
 * Only C types cross: UTF-8 text as const char*, fixed-width integers,
 * function pointers, and structs of these. Each side frees only what it
 * allocated:
 *   - text the launcher passes into a call is valid during that call only;
 *     copy what you keep;
 *   - a converter's heading is the component's and must stay valid until
 *     the converter is released (the launcher copies it after main);
 *   - the res2frd_path that the launcher writes into a monitor stays valid
 *     until that monitor is released;
 *   - an object that an entry returns is the component's: the launcher
 *     gives it back through its ops->release and never frees it itself.
 *
 * Failures travel as data: an operation returns TOLVANE_OK or
 * TOLVANE_FAILED and, when it fails, says why through the tolvane_error it
 * was given (a kind such as "ValueError" and a message; the launcher
 * copies both). An entry that fails returns NULL. Nothing may unwind out
 * of a call: a C++ component catches its exceptions (component.hpp does).
 *
 * Threads: every call comes from the launcher's main thread, except
 * run_process, which runs on a worker thread of its own, and the release
 * of an unattended monitor, which comes from that worker if run_process
 * returns after the launcher's wait has ended. A monitor's done flag may
 * be set from any thread, through tolvane_flag_store.
 *
 * Output: the launcher ends the process without running the components'
 * clean-up (no DLL detach code, no static destructors), so a component
 * flushes what it writes before its call returns. component.hpp flushes
 * the C streams after every call.
 */
#ifndef TOLVANE_COMPONENT_H
#define TOLVANE_COMPONENT_H

#include <stdint.h>

#if defined(_MSC_VER)
#include <intrin.h>
#elif !defined(__GNUC__) && !defined(__clang__) && defined(__STDC_VERSION__) && \
    __STDC_VERSION__ >= 201112L && !defined(__STDC_NO_ATOMICS__)
#include <stdatomic.h>
#define TOLVANE_C11_ATOMICS_ 1
#endif

#define TOLVANE_INTERFACE_MAJOR 1
#define TOLVANE_INTERFACE_MINOR 0

#ifdef __cplusplus
#define TOLVANE_EXTERN_C extern "C"
#else
#define TOLVANE_EXTERN_C
#endif

#if defined(_WIN32)
#define TOLVANE_EXPORT TOLVANE_EXTERN_C __declspec(dllexport)
#else
#define TOLVANE_EXPORT TOLVANE_EXTERN_C __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The structs below have the natural layout whatever packing a module is
 * built with. */
#pragma pack(push, 8)

typedef int32_t tolvane_status;
#define TOLVANE_OK 0
#define TOLVANE_FAILED 1

/* The launcher's side of a failure report. */
typedef struct tolvane_error tolvane_error;
struct tolvane_error {
  /* Copies kind and message (UTF-8; either may be NULL). The first report
   * of a call is the one that counts. */
  void (*report)(tolvane_error* self, const char* kind, const char* message);
};

/* Reports a failure and gives the status to return from an operation:
 *   return tolvane_fail(error, "ValueError", "no heading in the deck"); */
static inline tolvane_status tolvane_fail(tolvane_error* error, const char* kind,
                                          const char* message) {
  error->report(error, kind, message);
  return TOLVANE_FAILED;
}

/* A flag that one thread sets while another reads it (a monitor's done):
 * always read and write it through these two. */
static inline int32_t tolvane_flag_load(int32_t* flag) {
#if defined(_MSC_VER)
  return (int32_t)_InterlockedOr((long volatile*)flag, 0);
#elif defined(__GNUC__) || defined(__clang__)
  return __atomic_load_n(flag, __ATOMIC_SEQ_CST);
#elif defined(TOLVANE_C11_ATOMICS_)
  return atomic_load((_Atomic int32_t*)flag);
#else
#error "tolvane_flag_load: no atomic operations known for this compiler"
#endif
}

static inline void tolvane_flag_store(int32_t* flag, int32_t value) {
#if defined(_MSC_VER)
  _InterlockedExchange((long volatile*)flag, (long)value);
#elif defined(__GNUC__) || defined(__clang__)
  __atomic_store_n(flag, value, __ATOMIC_SEQ_CST);
#elif defined(TOLVANE_C11_ATOMICS_)
  atomic_store((_Atomic int32_t*)flag, value);
#else
#error "tolvane_flag_store: no atomic operations known for this compiler"
#endif
}

/* A component object is a struct that begins with one of the structs
 * below (place it first in your own struct and cast), whose ops point to
 * the component's operations. */

/* --- the converter: entry CONVERTER of module "inp_converter.main" ------- */

typedef struct tolvane_converter tolvane_converter;
typedef struct tolvane_converter_ops {
  /* Performs the conversion; may leave another current directory behind.
   * Sets dflag and heading before it returns. */
  tolvane_status (*main)(tolvane_converter* self, tolvane_error* error);
  void (*release)(tolvane_converter* self);
} tolvane_converter_ops;

struct tolvane_converter {
  const tolvane_converter_ops* ops;
  int32_t dflag;       /* non-zero: the conversion failed */
  const char* heading; /* handed to the editor unchanged; NULL is a null heading */
};

/* --- the editor: entry EDITOR of module "editor.gui" ---------------------- */

typedef struct tolvane_window tolvane_window;
typedef struct tolvane_window_ops {
  /* Tears the window down; the window's memory stays the editor's. */
  tolvane_status (*destroy)(tolvane_window* self, tolvane_error* error);
} tolvane_window_ops;

struct tolvane_window {
  const tolvane_window_ops* ops;
};

typedef struct tolvane_editor tolvane_editor;
typedef struct tolvane_editor_ops {
  /* Lets the user edit; returns when the user has finished. header is the
   * converter's heading (NULL for a null heading), exepath the solver
   * folder. */
  tolvane_status (*editor)(tolvane_editor* self, const char* header, const char* exepath,
                           tolvane_error* error);
  void (*release)(tolvane_editor* self);
} tolvane_editor_ops;

struct tolvane_editor {
  const tolvane_editor_ops* ops;
  tolvane_window* root; /* the top-level window, read after editor() */
};

/* --- the monitor: entry MONITOR of module "monitor.gui" ------------------- */

typedef struct tolvane_monitor tolvane_monitor;
typedef struct tolvane_monitor_ops {
  /* Unattended mode only, on the main thread, before anything else of it. */
  tolvane_status (*nogui_mode)(tolvane_monitor* self, tolvane_error* error);
  /* Unattended mode only, on a worker thread; done must become non-zero
   * when the run is over (from here, from signal_handler or any thread). */
  tolvane_status (*run_process)(tolvane_monitor* self, tolvane_error* error);
  /* Unattended mode only, on the main thread, after Ctrl-C (SIGINT). */
  tolvane_status (*signal_handler)(tolvane_monitor* self, int32_t signum, tolvane_error* error);
  /* Attended mode: runs the user interface and returns when the user is
   * done with it. */
  tolvane_status (*monitor_main)(tolvane_monitor* self, tolvane_error* error);
  void (*release)(tolvane_monitor* self);
} tolvane_monitor_ops;

struct tolvane_monitor {
  const tolvane_monitor_ops* ops;
  /* Written by the launcher right after MONITOR returns: the result
   * converter's path; valid until the monitor is released. */
  const char* res2frd_path;
  /* Set by MONITOR; non-zero selects the unattended mode. */
  int32_t nogui;
  /* Written 0 by the launcher after nogui_mode returns and before
   * run_process starts, then read by it once a second; the monitor sets it
   * non-zero once run_process has started. Use tolvane_flag_load and
   * tolvane_flag_store. */
  int32_t done;
};

/* --- entries and their declarations ---------------------------------------- */

/* The current directory is the model folder when MONITOR runs; parent is
 * always NULL. */
typedef tolvane_converter* (*tolvane_converter_entry)(const char* inp_path, const char* dir_path,
                                                      tolvane_error* error);
typedef tolvane_editor* (*tolvane_editor_entry)(const char* inp_path, const char* setting,
                                                tolvane_error* error);
typedef tolvane_monitor* (*tolvane_monitor_entry)(const char* model_path, const char* setting,
                                                  const void* parent, tolvane_error* error);

#define TOLVANE_DECLARATION_MAGIC 0x4E564C54u /* "TLVN" */
#define TOLVANE_ENTRY_CONVERTER 1u
#define TOLVANE_ENTRY_EDITOR 2u
#define TOLVANE_ENTRY_MONITOR 3u

typedef void (*tolvane_function)(void);

/* What an entry was built for, exported as tolvane_declaration_<ENTRY>.
 * magic, major and minor stay where they are in every version, so that a
 * launcher can always tell which version a module declares. */
typedef struct tolvane_declaration {
  uint32_t magic;
  uint16_t major;
  uint16_t minor;
  uint32_t entry_kind;    /* TOLVANE_ENTRY_CONVERTER, ... */
  uint32_t reserved;      /* 0 */
  tolvane_function entry; /* the entry itself */
} tolvane_declaration;

#pragma pack(pop)

#ifdef __cplusplus
}
#endif

/* Declares an entry that the module defines, after (or before) its
 * definition:
 *
 *   TOLVANE_EXPORT tolvane_converter* CONVERTER(const char* inp_path,
 *                                               const char* dir_path,
 *                                               tolvane_error* error) { ... }
 *   TOLVANE_DECLARE_CONVERTER;
 *
 * The prototype repeated here makes a definition of another type an error
 * at compile time. */
#define TOLVANE_DECLARE_ENTRY_(NAME, KIND, PROTOTYPE)                                  \
  TOLVANE_EXPORT PROTOTYPE;                                                           \
  TOLVANE_EXPORT const tolvane_declaration tolvane_declaration_##NAME = {             \
      TOLVANE_DECLARATION_MAGIC, TOLVANE_INTERFACE_MAJOR, TOLVANE_INTERFACE_MINOR, KIND, \
      0, (tolvane_function)(NAME)}

#define TOLVANE_DECLARE_CONVERTER                                                   \
  TOLVANE_DECLARE_ENTRY_(CONVERTER, TOLVANE_ENTRY_CONVERTER,                        \
                         tolvane_converter* CONVERTER(const char*, const char*,     \
                                                      tolvane_error*))
#define TOLVANE_DECLARE_EDITOR                                                      \
  TOLVANE_DECLARE_ENTRY_(EDITOR, TOLVANE_ENTRY_EDITOR,                              \
                         tolvane_editor* EDITOR(const char*, const char*, tolvane_error*))
#define TOLVANE_DECLARE_MONITOR                                                     \
  TOLVANE_DECLARE_ENTRY_(MONITOR, TOLVANE_ENTRY_MONITOR,                            \
                         tolvane_monitor* MONITOR(const char*, const char*, const void*, \
                                                  tolvane_error*))

#endif /* TOLVANE_COMPONENT_H */
