// Crashes on Windows: structured exceptions that no frame handles;
// abort(), which msvcrt.dll (shared with every MinGW-built module) turns
// into SIGABRT before it would end the process with status 3; and the end
// of the main thread, which a component's ExitThread or TerminateThread
// would otherwise let pass with the status of whichever thread ends last.

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <string_view>
#include <utility>

#include "crashes.hpp"
#include "process.hpp"

namespace tolvane::platform {

namespace {

constexpr std::pair<DWORD, const char*> crash_codes[] = {
    {EXCEPTION_ACCESS_VIOLATION, "access violation"},
    {EXCEPTION_IN_PAGE_ERROR, "in-page error"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, "illegal instruction"},
    {EXCEPTION_PRIV_INSTRUCTION, "privileged instruction"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, "integer division by zero"},
    {EXCEPTION_INT_OVERFLOW, "integer overflow"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, "floating-point division by zero"},
    {EXCEPTION_FLT_INVALID_OPERATION, "invalid floating-point operation"},
    {EXCEPTION_FLT_OVERFLOW, "floating-point overflow"},
    {EXCEPTION_FLT_UNDERFLOW, "floating-point underflow"},
    {EXCEPTION_FLT_INEXACT_RESULT, "inexact floating-point result"},
    {EXCEPTION_FLT_DENORMAL_OPERAND, "denormal floating-point operand"},
    {EXCEPTION_FLT_STACK_CHECK, "floating-point stack check"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "array bounds exceeded"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, "datatype misalignment"},
    {EXCEPTION_BREAKPOINT, "breakpoint"},
    {EXCEPTION_STACK_OVERFLOW, "stack overflow"},
    {EXCEPTION_NONCONTINUABLE_EXCEPTION, "noncontinuable exception"},
    {0xC0000409, "stack buffer overrun"},
    {0xC0000374, "heap corruption"},
};

// GCC's C++ exceptions travel as structured exceptions of these codes.
constexpr DWORD gcc_exception_mask = 0x20FFFFFF, gcc_exception_magic = 0x20474343;

CrashHandler crash_handler = nullptr;
char description[96];
// Set from the first report on: the process may end only with status 1.
std::atomic<bool> reporting{false};

[[noreturn]] void report(const char* what, std::uint64_t thread) {
  reporting.store(true);
  crash_handler(what, thread);
  for (;;) Sleep(INFINITE);  // the handler ends the process
}

// "access violation (0xC0000005)", composed without the C library.
const char* describe(DWORD code) {
  const char* name = "exception";
  for (const auto& [known, known_name] : crash_codes)
    if (known == code) name = known_name;
  std::size_t n = 0;
  for (const char* p = name; *p != '\0' && n < sizeof description - 16; ++p) description[n++] = *p;
  for (const char c : {' ', '(', '0', 'x'}) description[n++] = c;
  for (int shift = 28; shift >= 0; shift -= 4)
    description[n++] = "0123456789ABCDEF"[(code >> shift) & 15];
  description[n++] = ')';
  description[n] = '\0';
  return description;
}

LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  // A C++ exception that nothing caught comes here first; going on lets
  // the runtime call std::terminate, as the start-up code's filter does.
  if ((record.ExceptionCode & gcc_exception_mask) == gcc_exception_magic &&
      (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0)
    return EXCEPTION_CONTINUE_EXECUTION;
  report(describe(record.ExceptionCode), current_thread_id());
  return EXCEPTION_EXECUTE_HANDLER;
}

void on_abort(int) {
  // msvcrt sets SIGABRT back to the default before it calls this: first
  // of all put it back, so that an abort() on another thread comes here
  // too rather than ending the process with status 3.
  (void)std::signal(SIGABRT, on_abort);
  report("abort (SIGABRT)", current_thread_id());
}

// A component module's abort(), in the place of the C runtime's.
[[noreturn]] void __cdecl abort_of_a_component() { report("abort (SIGABRT)", current_thread_id()); }

// Whether text begins with prefix, ASCII letters in either case.
bool starts_with_ignoring_case(const char* text, std::string_view prefix) {
  for (const char wanted : prefix) {
    const char c = *text++;
    if (c == '\0' || (c | 0x20) != (wanted | 0x20)) return false;
  }
  return true;
}

// The C runtimes whose abort() a module imports: msvcrt.dll (MinGW), the
// Universal CRT and the older Visual C++ ones (msvcr100.dll, ...).
bool is_c_runtime(const char* library) {
  return starts_with_ignoring_case(library, "msvcr") ||
         starts_with_ignoring_case(library, "ucrtbase.dll") ||
         starts_with_ignoring_case(library, "api-ms-win-crt-");
}

// Waits for the main thread, which ends only with the process, unless a
// component ends it (the process would then live on until its last
// thread ends, with that thread's status).
std::uint64_t main_thread_id = 0;

DWORD WINAPI watch_main_thread(void* main_thread) {
  WaitForSingleObject(main_thread, INFINITE);
  report("the launcher's main thread ended inside the call (ExitThread or TerminateThread)",
         main_thread_id);
  return 0;
}

// Once a crash is being reported, an end of the process by another way
// (a second thread's abort() that msvcrt ends with status 3, say) still
// ends with status 1. Windows calls this at the end of the process; Wine
// does not.
void NTAPI on_tls_event(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_DETACH && reporting.load()) TerminateProcess(GetCurrentProcess(), 1);
}

}  // namespace

void on_crash(CrashHandler handler) {
  crash_handler = handler;
  prepare_thread_for_crashes();
  restore_crash_handling();
  main_thread_id = current_thread_id();
  HANDLE main_thread = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &main_thread,
                      SYNCHRONIZE, FALSE, 0))
    if (const HANDLE watcher = CreateThread(nullptr, SIZE_T{64} * 1024, watch_main_thread, main_thread,
                                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr))
      CloseHandle(watcher);
}

void take_over_abort(void* module) noexcept {
  auto* const base = static_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* library =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    // Without the names (a bound import table) there is nothing to go by.
    if (library->OriginalFirstThunk == 0 ||
        !is_c_runtime(reinterpret_cast<const char*>(base + library->Name)))
      continue;
    auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
      if (std::string_view(reinterpret_cast<const char*>(by_name->Name)) != "abort") continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                          &protection))
        continue;
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(&abort_of_a_component);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
    }
  }
}

void restore_crash_handling() noexcept {
  SetUnhandledExceptionFilter(on_unhandled_exception);
  (void)std::signal(SIGABRT, on_abort);
  // msvcrt's own way to a handler of these, which the launcher leaves at
  // the default: a component's would take a crash from the filter above.
  for (const int signum : {SIGSEGV, SIGILL, SIGFPE}) (void)std::signal(signum, SIG_DFL);
}

void prepare_thread_for_crashes() noexcept {
  // Room at the end of the stack for the report of its overflow.
  ULONG room = 64 * 1024;
  SetThreadStackGuarantee(&room);
}

}  // namespace tolvane::platform

// The loader calls the callbacks that the C runtime's TLS directory lists,
// those between its sections .CRT$XLA and .CRT$XLZ.
extern "C" {
__attribute__((section(".CRT$XLD"), used)) PIMAGE_TLS_CALLBACK tolvane_crash_end_callback =
    tolvane::platform::on_tls_event;
}
