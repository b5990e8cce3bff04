// Crashes on Windows: structured exceptions that no frame handles, and
// abort(), which msvcrt.dll (shared with every MinGW-built module) turns
// into SIGABRT before it would end the process with status 3.

#include <windows.h>

#include <csignal>
#include <utility>

#include "crashes.hpp"

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
  crash_handler(describe(record.ExceptionCode));
  return EXCEPTION_EXECUTE_HANDLER;
}

void on_abort(int) { crash_handler("abort (SIGABRT)"); }

}  // namespace

void on_crash(CrashHandler handler) {
  crash_handler = handler;
  prepare_thread_for_crashes();
  SetUnhandledExceptionFilter(on_unhandled_exception);
  (void)std::signal(SIGABRT, on_abort);
}

void prepare_thread_for_crashes() noexcept {
  // Room at the end of the stack for the report of its overflow.
  ULONG room = 64 * 1024;
  SetThreadStackGuarantee(&room);
}

}  // namespace tolvane::platform
