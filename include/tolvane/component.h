/* SPDX-License-Identifier: MIT */
/* Tolvane in-process component interface, version 1.0: plain C, so that a
 * module built by any C or C++ compiler can serve the launcher.
 *
 * A component module is a shared library in the launcher's own folder:
 * "inp_converter/main", "editor/gui" or "monitor/gui", with the platform's
 * suffix (".dll" on Windows, ".so" elsewhere). It exports the entries it
 * provides (CONVERTER, EDITOR, MONITOR) and, for each, its declaration
 * (TOLVANE_DECLARE_CONVERTER and the like, below), which tells the launcher
 * the interface version the module was built for. The launcher refuses a
 * module built for another major version or for a newer minor version
 * than its own, an entry without a declaration, and one whose declaration
 * names another kind of entry, before it creates any component object.
 *
 * Only C types cross: text as const char*, fixed-width integers, function
 * pointers, and structs of these. Text from the launcher is UTF-8, with one
 * exception: a Windows name may hold a lone (unpaired) surrogate, which no
 * UTF-8 can carry, and such a surrogate travels in its generalized UTF-8
 * form (ED A0 80 .. ED BF BF). Open or name files with tolvane_fopen (C) or
 * tolvane::component::fs_path (C++), which turn such text back into the
 * very name on every platform. Each side frees only what it allocated:
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
 * copies both). An entry that fails returns NULL. A report is a failure
 * whatever the call returns. Nothing should unwind out of a call: a C++
 * component catches its exceptions (component.hpp does); one that escapes
 * all the same is taken as that call's failure.
 *
 * Threads: every call comes from the launcher's main thread, except
 * run_process, which runs on a worker thread of its own, and the release
 * of a monitor, which comes from that worker if run_process returns after
 * the launcher's wait has ended, else from a thread that the launcher
 * waits for at most 0.5 s. A monitor's done flag may be set from any
 * thread, through tolvane_flag_store.
 *
 * Output: the launcher ends the process without waiting for the
 * components' threads or stream locks and without running their clean-up
 * (no DLL detach code, no static destructors), so a component flushes what
 * it writes before its call returns. component.hpp flushes the C streams
 * after every call.
 *
 * Ending the process: a component that calls exit(), _exit() or
 * ExitProcess() ends the whole run on purpose, with its own status, and
 * the launcher has no say in it; that is the component's decision. A crash
 * or abort() in a component ends the run with status 1 and a diagnostic
 * naming the call that was running.
 *
 * The whole contract, the tool-executable form included: docs/components.md.
 */
#ifndef TOLVANE_COMPONENT_H
#define TOLVANE_COMPONENT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#if defined(_WIN32)
#include <wchar.h>
#endif

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

/* --- file names ------------------------------------------------------------ */

#if defined(_WIN32)
/* Decodes size bytes of text from the launcher into UTF-16 for the wide
 * Windows API (CreateDirectoryW, _wmkdir, ...), as the launcher encoded
 * it: a surrogate in its generalized UTF-8 form becomes that surrogate
 * again, and each byte that starts no well-formed sequence (overlong forms
 * and code points past U+10FFFF start none) becomes U+FFFD. out must hold
 * size + 1 units, as no byte gives more than one. Returns the number of
 * units written before the terminating NUL that it adds. */
static inline size_t tolvane_utf16_from_utf8(const char* utf8, size_t size, wchar_t* out) {
  const unsigned char* in = (const unsigned char*)utf8;
  const unsigned char* const end = in + size;
  size_t n = 0;
  while (in < end) {
    const unsigned char* const start = in;
    const unsigned lead = *in++;
    unsigned low = 0x80, high = 0xBF; /* where the next byte must lie */
    int follow = -1;
    uint32_t code = lead;
    if (lead < 0x80) {
      follow = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      follow = 1;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      /* ED A0 .. ED BF, the surrogates, are let through */
      follow = 2;
      code = lead & 0x0Fu;
      if (lead == 0xE0) low = 0xA0;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      follow = 3;
      code = lead & 0x07u;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    for (; follow > 0; --follow, low = 0x80, high = 0xBF) {
      if (in == end || *in < low || *in > high) break;
      code = (code << 6) | (*in++ & 0x3Fu);
    }
    if (follow != 0) {
      out[n++] = (wchar_t)0xFFFD;
      in = start + 1; /* the next byte may start a sequence of its own */
    } else if (code >= 0x10000u) {
      out[n++] = (wchar_t)(0xD800u + ((code - 0x10000u) >> 10));
      out[n++] = (wchar_t)(0xDC00u + (code & 0x3FFu));
    } else {
      out[n++] = (wchar_t)code;
    }
  }
  out[n] = 0;
  return n;
}
#endif

/* fopen for a path from the launcher: on Windows the path is decoded as
 * tolvane_utf16_from_utf8 does and opened with _wfopen, so that any name
 * the launcher passed on opens, whatever the code page; elsewhere it is
 * fopen, as names there are bytes. NULL on failure, as fopen. */
static inline FILE* tolvane_fopen(const char* utf8_path, const char* mode) {
#if defined(_WIN32)
  size_t path_size = 0, mode_size = 0;
  wchar_t* wide;
  FILE* file;
  if (utf8_path == NULL || mode == NULL) return NULL;
  while (utf8_path[path_size] != 0) ++path_size;
  while (mode[mode_size] != 0) ++mode_size;
  /* one buffer for both: the path, its NUL, the mode and its NUL */
  wide = (wchar_t*)malloc((path_size + mode_size + 2) * sizeof *wide);
  if (wide == NULL) return NULL;
  tolvane_utf16_from_utf8(utf8_path, path_size, wide);
  tolvane_utf16_from_utf8(mode, mode_size, wide + path_size + 1);
  file = _wfopen(wide, wide + path_size + 1);
  free(wide);
  return file;
#else
  if (utf8_path == NULL || mode == NULL) return NULL;
  return fopen(utf8_path, mode);
#endif
}

/* A component object is a struct that begins with one of the structs
 * below (place it first in your own struct and cast), whose ops point to
 * the component's operations. */

/* --- the converter: entry CONVERTER of module "inp_converter.main" ------- */

typedef struct tolvane_converter tolvane_converter;
typedef struct tolvane_converter_ops {
  /* Performs the conversion; may leave another current folder behind.
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
   * non-zero when its unattended run is over (not before run_process has
   * started), and the launcher then ends the run with status 0 without
   * waiting for run_process to return. Use tolvane_flag_load and
   * tolvane_flag_store. */
  int32_t done;
};

/* --- entries and their declarations ---------------------------------------- */

typedef tolvane_converter* (*tolvane_converter_entry)(const char* inp_path, const char* dir_path,
                                                      tolvane_error* error);
typedef tolvane_editor* (*tolvane_editor_entry)(const char* inp_path, const char* setting,
                                                tolvane_error* error);
/* The current folder is the model folder when MONITOR runs; parent is
 * always NULL. */
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
  uint32_t entry_kind;    /* its role: TOLVANE_ENTRY_CONVERTER, ... */
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
#define TOLVANE_DECLARE_ENTRY_(NAME, KIND, PROTOTYPE)                                       \
  TOLVANE_EXPORT PROTOTYPE;                                                                 \
  TOLVANE_EXPORT const tolvane_declaration tolvane_declaration_##NAME = {                   \
      TOLVANE_DECLARATION_MAGIC, TOLVANE_INTERFACE_MAJOR, TOLVANE_INTERFACE_MINOR, KIND, 0, \
      (tolvane_function)(NAME)}

#define TOLVANE_DECLARE_CONVERTER                            \
  TOLVANE_DECLARE_ENTRY_(CONVERTER, TOLVANE_ENTRY_CONVERTER, \
                         tolvane_converter* CONVERTER(const char*, const char*, tolvane_error*))
#define TOLVANE_DECLARE_EDITOR                         \
  TOLVANE_DECLARE_ENTRY_(EDITOR, TOLVANE_ENTRY_EDITOR, \
                         tolvane_editor* EDITOR(const char*, const char*, tolvane_error*))
#define TOLVANE_DECLARE_MONITOR       \
  TOLVANE_DECLARE_ENTRY_(             \
      MONITOR, TOLVANE_ENTRY_MONITOR, \
      tolvane_monitor* MONITOR(const char*, const char*, const void*, tolvane_error*))

#endif /* TOLVANE_COMPONENT_H */
