// Windows implementation of the platform layer. Every call is the wide
// one; text is converted to and from UTF-8 at this boundary only.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>

#include "../command_line.hpp"
#include "../failure.hpp"
#include "../utf.hpp"
#include "../windows_errors.hpp"
#include "platform.hpp"

namespace tolvane::platform {

const paths::Flavour path_flavour = paths::Flavour::windows;
const char* const module_suffix = ".dll";
const std::uint32_t interrupted_exit_code = 0xC000013A;

namespace {

std::wstring wide(std::string_view text) {
  const std::u16string u = utf::to_utf16(text);
  return std::wstring(u.begin(), u.end());
}

std::string narrow(std::wstring_view text) {
  return utf::from_utf16(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::string system_text(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n ? narrow(std::wstring_view(buffer, n)) : "unknown error";
  if (buffer) LocalFree(buffer);
  return text;
}

namespace codes = windows_errors;
static_assert(codes::invalid_function == ERROR_INVALID_FUNCTION &&
              codes::file_not_found == ERROR_FILE_NOT_FOUND &&
              codes::path_not_found == ERROR_PATH_NOT_FOUND &&
              codes::access_denied == ERROR_ACCESS_DENIED &&
              codes::invalid_drive == ERROR_INVALID_DRIVE &&
              codes::not_supported == ERROR_NOT_SUPPORTED && codes::bad_netpath == ERROR_BAD_NETPATH &&
              codes::invalid_parameter == ERROR_INVALID_PARAMETER &&
              codes::broken_pipe == ERROR_BROKEN_PIPE && codes::mod_not_found == ERROR_MOD_NOT_FOUND &&
              codes::no_data == ERROR_NO_DATA && codes::directory == ERROR_DIRECTORY &&
              codes::unrecognized_volume == ERROR_UNRECOGNIZED_VOLUME);

// A failed Windows call: the API, the system's text (its insert filled
// with subject, the file concerned) and the code.
Failure win_failure(const std::string& where, const std::string& api, DWORD code,
                    std::string_view subject = {}) {
  return system_failure(where, codes::kind_of(code), api, code, system_text(code), subject);
}

// Calls fill(buffer, size) -> length until the text fits; fill returns the
// needed size (or more than size) when the buffer is too small, 0 on
// failure, which leaves its code in error.
template <class Fill>
std::optional<std::wstring> grown_or_error(Fill fill, DWORD& error) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      error = GetLastError();
      return std::nullopt;
    }
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(std::max<std::size_t>(n + 1, buffer.size() * 2));
  }
}

template <class Fill>
std::wstring grown(const std::string& where, const std::string& api, Fill fill) {
  DWORD error = ERROR_SUCCESS;
  if (auto text = grown_or_error(fill, error)) return *std::move(text);
  throw win_failure(where, api, error);
}

std::atomic<bool> interrupt_flag{false};
HANDLE interrupt_event = nullptr;

void record_interrupt() {
  interrupt_flag.store(true);
  if (interrupt_event) SetEvent(interrupt_event);
}

// Runs on a thread of its own that the system starts; it only records.
BOOL WINAPI on_console_event(DWORD type) {
  if (type != CTRL_C_EVENT) return FALSE;  // Ctrl-Break and the rest: the system's way
  record_interrupt();
  return TRUE;
}

void bind_to_null_if_missing(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  if (h != nullptr && h != INVALID_HANDLE_VALUE) return;
  const HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
  if (null_device != INVALID_HANDLE_VALUE) SetStdHandle(which, null_device);
}

bool is_console(HANDLE h) {
  DWORD mode = 0;
  return GetConsoleMode(h, &mode) != 0;
}

// SetDefaultDllDirectories and the LOAD_LIBRARY_SEARCH_* flags came with
// Windows 8 (and an update for Vista and 7): looked up, not imported, so
// that the executable still loads where they are missing.
bool search_flags_supported = false;

void restrict_dll_search() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  search_flags_supported =
      set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  // Without them, at least keep the current directory out of the search.
  if (!search_flags_supported) SetDllDirectoryW(L"");
}

}  // namespace

void prepare_process() {
  restrict_dll_search();
  bind_to_null_if_missing(STD_INPUT_HANDLE);
  bind_to_null_if_missing(STD_OUTPUT_HANDLE);
  bind_to_null_if_missing(STD_ERROR_HANDLE);
  interrupt_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (interrupt_event == nullptr) throw win_failure("start-up", "CreateEventW", GetLastError());
  if (!SetConsoleCtrlHandler(on_console_event, TRUE))
    throw win_failure("start-up", "SetConsoleCtrlHandler", GetLastError());
}

std::string executable_path() {
  // A buffer that is too small gets the truncated name and its full size.
  return narrow(grown("start-up", "GetModuleFileNameW", [](wchar_t* b, DWORD size) {
    return GetModuleFileNameW(nullptr, b, size);
  }));
}

void end_process(int status) {
  // In-process components may have written through the C and C++
  // streams; the launcher itself writes straight to the handles.
  std::cout.flush();
  std::cerr.flush();
  (void)std::fflush(nullptr);
  // Not ExitProcess: DLL detach code must not run while a detached worker
  // may still hold locks.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  ExitProcess(static_cast<UINT>(status));
}

namespace {

struct WriteError {
  const char* api;
  DWORD code;
};

// Writes all of data through write(handle, data, n, &written); the first
// refusal is returned.
template <class Char, class Write>
std::optional<WriteError> write_all(HANDLE h, std::basic_string_view<Char> data, std::size_t piece,
                                    const char* api, Write write) {
  while (!data.empty()) {
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(std::min(data.size(), piece));
    if (!write(h, data.data(), n, &written)) return WriteError{api, GetLastError()};
    if (written == 0) return WriteError{api, ERROR_WRITE_FAULT};
    data.remove_prefix(written);
  }
  return std::nullopt;
}

std::optional<WriteError> write_stream(Stream stream, std::string_view text) {
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const HANDLE h = GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (is_console(h)) {
    const std::wstring w = wide(crlf);
    return write_all(h, std::wstring_view(w), 8192, "WriteConsoleW",
                     [](HANDLE h, const wchar_t* p, DWORD n, DWORD* written) {
                       return WriteConsoleW(h, p, n, written, nullptr);
                     });
  }
  return write_all(h, std::string_view(crlf), 1 << 20, "WriteFile",
                   [](HANDLE h, const char* p, DWORD n, DWORD* written) {
                     return WriteFile(h, p, n, written, nullptr);
                   });
}

}  // namespace

void write_text(Stream stream, std::string_view text) {
  if (const auto error = write_stream(stream, text))
    throw win_failure(stream == Stream::out ? "stdout" : "stderr", error->api, error->code);
}

void write_text_if_possible(Stream stream, std::string_view text) noexcept {
  try {
    write_stream(stream, text);
  } catch (...) {
    // No memory for the line-break conversion: nothing can be said.
  }
}

std::optional<int> console_width() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return std::nullopt;
  const int width = info.srWindow.Right - info.srWindow.Left + 1;
  return width > 0 ? std::optional<int>(width) : std::nullopt;
}

std::optional<std::string> environment(const char* name) {
  const std::wstring key = wide(name);
  DWORD error = ERROR_SUCCESS;
  const auto value = grown_or_error(
      [&](wchar_t* b, DWORD size) { return GetEnvironmentVariableW(key.c_str(), b, size); }, error);
  if (value) return narrow(*value);
  // 0 without an error is a variable set to the empty text.
  if (error == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  return std::string();
}

std::string current_directory() {
  return narrow(grown("getcwd", "GetCurrentDirectoryW", [](wchar_t* b, DWORD size) {
    return GetCurrentDirectoryW(size, b);
  }));
}

void change_directory(const std::string& path) {
  if (!SetCurrentDirectoryW(wide(path).c_str())) {
    const DWORD code = GetLastError();
    throw win_failure("chdir", "SetCurrentDirectoryW('" + path + "')", code, path);
  }
}

std::string absolute_path(const std::string& path) {
  const std::wstring normal = wide(paths::normalize(path_flavour, path));
  return narrow(grown("abspath", "GetFullPathNameW('" + path + "')", [&](wchar_t* b, DWORD size) {
    return GetFullPathNameW(normal.c_str(), size, b, nullptr);
  }));
}

std::string final_path(const std::string& path) {
  const HANDLE h = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  std::optional<std::wstring> final;
  if (h != INVALID_HANDLE_VALUE) {
    final = grown_or_error(
        [&](wchar_t* b, DWORD size) {
          return GetFinalPathNameByHandleW(h, b, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        },
        error);
    CloseHandle(h);
  }
  if (final) return paths::strip_extended_prefix(narrow(*final));
  // Some volumes (RAM disks, some network redirectors) cannot report a
  // final path at all; their absolute path stands in for it.
  if (codes::cannot_report_final_path(error)) return absolute_path(path);
  throw win_failure("realpath",
                    h == INVALID_HANDLE_VALUE ? "CreateFileW('" + path + "')"
                                              : "GetFinalPathNameByHandleW('" + path + "')",
                    error, path);
}

std::string short_path(const std::string& path) {
  const std::wstring long_form = wide(path);
  DWORD error = ERROR_SUCCESS;
  const auto short_form = grown_or_error(
      [&](wchar_t* b, DWORD size) { return GetShortPathNameW(long_form.c_str(), b, size); }, error);
  // No short names on this volume: the long one stands.
  return short_form ? narrow(*short_form) : path;
}

bool take_interrupt() {
  ResetEvent(interrupt_event);
  return interrupt_flag.exchange(false);
}

namespace {
DWORD milliseconds_until(std::optional<Clock::time_point> deadline) {
  if (!deadline) return INFINITE;
  const auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Rounded up, so a wait never ends just short of its deadline.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}
}  // namespace

bool wait_for_interrupt(Clock::time_point deadline) {
  for (;;) {
    if (interrupt_flag.load()) return true;
    if (Clock::now() >= deadline) return false;
    if (WaitForSingleObject(interrupt_event, milliseconds_until(deadline)) == WAIT_OBJECT_0 &&
        !interrupt_flag.load())
      ResetEvent(interrupt_event);
  }
}

void raise_interrupt_for_testing() { record_interrupt(); }

// --- child processes -------------------------------------------------------

struct Child::State {
  HANDLE process = nullptr;
  HANDLE out_read = INVALID_HANDLE_VALUE;
  HANDLE read_done = nullptr;
  OVERLAPPED overlapped{};
  bool exited = false;
  DWORD code = 0;
};

namespace {

std::atomic<unsigned> pipe_serial{0};

// An overlapped read end, so a read can be cut short by an interrupt, and
// a plain, non-inheritable write end for the child.
void make_output_pipe(const std::string& where, HANDLE& read_end, HANDLE& write_end) {
  const std::wstring name = L"\\\\.\\pipe\\tolvane-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(pipe_serial.fetch_add(1)) + L"-" +
                            std::to_wstring(GetTickCount64());
  read_end = CreateNamedPipeW(name.c_str(),
                              PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 1 << 20, 0,
                              nullptr);
  if (read_end == INVALID_HANDLE_VALUE) throw win_failure(where, "CreateNamedPipeW", GetLastError());
  write_end = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (write_end == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    CloseHandle(read_end);
    throw win_failure(where, "CreateFileW(pipe)", code);
  }
}

// An inheritable duplicate of one of the launcher's handles, or null when
// there is none to give.
HANDLE inheritable_copy(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

}  // namespace

Child::Child(const std::string& where, const std::string& program,
             const std::vector<std::string>& argv, bool capture_output)
    : state_(std::make_unique<State>()) {
  // The application name is always given: with none, an unquoted path with
  // blanks would be tried piece by piece.
  const std::wstring application = wide(program);
  std::wstring command_line = wide(join_command_line(argv));
  if (command_line.size() > longest_command_line)
    throw Failure(where, kind::system,
                  "the command line for " + program + " is " + std::to_string(command_line.size()) +
                      " characters long; Windows takes at most " +
                      std::to_string(longest_command_line));

  HANDLE pipe_write = nullptr;
  if (capture_output) make_output_pipe(where, state_->out_read, pipe_write);

  HANDLE std_handles[3] = {
      inheritable_copy(GetStdHandle(STD_INPUT_HANDLE)),
      inheritable_copy(capture_output ? pipe_write : GetStdHandle(STD_OUTPUT_HANDLE)),
      inheritable_copy(GetStdHandle(STD_ERROR_HANDLE))};
  if (pipe_write) CloseHandle(pipe_write);
  // Windows 7 and earlier give consoles pseudo-handles (low bits 11), which
  // a handle list refuses; they reach the child through its console anyway.
  HANDLE inherited[3];
  DWORD count = 0;
  for (HANDLE h : std_handles)
    if (h && (reinterpret_cast<ULONG_PTR>(h) & 3) != 3) inherited[count++] = h;
  const auto close_copies = [&] {
    for (HANDLE h : std_handles)
      if (h) CloseHandle(h);
  };

  // Only these handles reach the child, whatever else may be inheritable.
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_storage(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &list_size)) {
    close_copies();
    throw win_failure(where, "InitializeProcThreadAttributeList", GetLastError());
  }
  if (count > 0 && !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                               count * sizeof(HANDLE), nullptr, nullptr)) {
    const DWORD code = GetLastError();
    DeleteProcThreadAttributeList(list);
    close_copies();
    throw win_failure(where, "UpdateProcThreadAttribute", code);
  }

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = std_handles[0];
  startup.StartupInfo.hStdOutput = std_handles[1];
  startup.StartupInfo.hStdError = std_handles[2];
  startup.lpAttributeList = list;

  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr,
                                      TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                      &startup.StartupInfo, &info);
  const DWORD code = GetLastError();
  DeleteProcThreadAttributeList(list);
  close_copies();
  if (!started) {
    state_->exited = true;
    if (state_->out_read != INVALID_HANDLE_VALUE) CloseHandle(state_->out_read);
    state_->out_read = INVALID_HANDLE_VALUE;
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
      throw Failure(where, kind::not_found, "no such component executable: " + program);
    throw win_failure(where, "CreateProcessW('" + program + "')", code, program);
  }
  CloseHandle(info.hThread);
  state_->process = info.hProcess;
  state_->read_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

Child::~Child() {
  if (state_->process) {
    if (!state_->exited) {
      TerminateProcess(state_->process, STATUS_CONTROL_C_EXIT);
      WaitForSingleObject(state_->process, INFINITE);
    }
    CloseHandle(state_->process);
  }
  if (state_->out_read != INVALID_HANDLE_VALUE) CloseHandle(state_->out_read);
  if (state_->read_done) CloseHandle(state_->read_done);
}

Child::Event Child::read(std::string& chunk) {
  constexpr DWORD piece = 256 * 1024;
  for (;;) {
    if (interrupt_flag.load()) return Event::interrupted;
    chunk.resize(piece);
    state_->overlapped = OVERLAPPED{};
    state_->overlapped.hEvent = state_->read_done;
    ResetEvent(state_->read_done);
    DWORD got = 0;
    if (!ReadFile(state_->out_read, chunk.data(), piece, &got, &state_->overlapped)) {
      DWORD code = GetLastError();
      if (code == ERROR_IO_PENDING) {
        HANDLE events[2] = {state_->read_done, interrupt_event};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 &&
            interrupt_flag.load()) {
          CancelIoEx(state_->out_read, &state_->overlapped);
          GetOverlappedResult(state_->out_read, &state_->overlapped, &got, TRUE);
          return Event::interrupted;
        }
        if (GetOverlappedResult(state_->out_read, &state_->overlapped, &got, TRUE))
          code = ERROR_SUCCESS;
        else
          code = GetLastError();
      }
      if (code == ERROR_BROKEN_PIPE) return Event::end;
      if (code != ERROR_SUCCESS && code != ERROR_MORE_DATA) throw win_failure("read", "ReadFile", code);
    }
    if (got > 0) {
      chunk.resize(got);
      return Event::data;
    }
  }
}

Child::Wait Child::wait(std::optional<Clock::time_point> deadline, bool interruptible) {
  for (;;) {
    if (state_->exited) return Wait::exited;
    if (interruptible && interrupt_flag.load()) return Wait::interrupted;
    HANDLE events[2] = {state_->process, interrupt_event};
    const DWORD r =
        WaitForMultipleObjects(interruptible ? 2 : 1, events, FALSE, milliseconds_until(deadline));
    if (r == WAIT_OBJECT_0) {
      GetExitCodeProcess(state_->process, &state_->code);
      state_->exited = true;
    } else if (r == WAIT_TIMEOUT) {
      return Wait::timed_out;
    } else if (r == WAIT_OBJECT_0 + 1) {
      if (!interrupt_flag.load()) ResetEvent(interrupt_event);
    } else {
      throw win_failure("wait", "WaitForMultipleObjects", GetLastError());
    }
  }
}

void Child::terminate() {
  if (!state_->exited) TerminateProcess(state_->process, STATUS_CONTROL_C_EXIT);
}

std::uint32_t Child::exit_code() const { return state_->code; }

// --- output decoding -------------------------------------------------------

namespace {

// Strict decoding in the active ANSI code page. A lead byte that a read
// splits from its trail byte is carried to the next read; lead bytes are
// found by a forward scan from a character boundary.
class AnsiDecoder final : public OutputDecoder {
 public:
  AnsiDecoder() : code_page_(GetACP()) {
    CPINFOEXW info{};
    if (GetCPInfoExW(code_page_, 0, &info)) max_char_size_ = info.MaxCharSize;
  }

  bool feed(std::string_view bytes, std::string& out) override {
    if (failed_) return false;
    if (code_page_ == CP_UTF8) return (failed_ = !utf8_.feed(bytes, out)) == false;
    if (!carry_.empty() && !bytes.empty()) {
      carry_ += bytes[0];
      bytes.remove_prefix(1);
      if (!convert(carry_, out)) return false;
      carry_.clear();
    }
    std::size_t complete = bytes.size();
    if (max_char_size_ == 2)
      complete = utf::complete_dbcs_prefix(
          bytes, [&](unsigned char b) { return IsDBCSLeadByteEx(code_page_, b) != 0; });
    if (!convert(bytes.substr(0, complete), out)) return false;
    carry_.assign(bytes.substr(complete));
    return true;
  }

  bool finish() override {
    return !failed_ && carry_.empty() && (code_page_ != CP_UTF8 || utf8_.finish());
  }

  std::string name() const override { return "cp" + std::to_string(code_page_); }

 private:
  bool convert(std::string_view bytes, std::string& out) {
    // Every ANSI code page maps the ASCII bytes to themselves, and most
    // output is ASCII: pass that through unconverted.
    const std::size_t ascii = utf::ascii_prefix(bytes);
    out.append(bytes.substr(0, ascii));
    bytes.remove_prefix(ascii);
    if (bytes.empty()) return true;
    const int n = static_cast<int>(bytes.size());
    wide_.resize(bytes.size());
    const int got = MultiByteToWideChar(code_page_, MB_ERR_INVALID_CHARS, bytes.data(), n,
                                        wide_.data(), static_cast<int>(wide_.size()));
    if (got <= 0) {
      failed_ = true;
      return false;
    }
    out += utf::from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(wide_.data()),
                                               static_cast<std::size_t>(got)));
    return true;
  }

  UINT code_page_;
  UINT max_char_size_ = 1;
  bool failed_ = false;
  std::string carry_;
  std::wstring wide_;
  utf::Utf8Validator utf8_;
};

}  // namespace

std::unique_ptr<OutputDecoder> make_output_decoder() { return std::make_unique<AnsiDecoder>(); }

// --- modules ---------------------------------------------------------------

void* load_module(const std::string& where, const std::string& path) {
  const std::wstring file = wide(path);
  // The module's own folder is searched for the libraries it needs, then
  // the system's; never the current directory.
  const DWORD flags = search_flags_supported
                          ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                          : LOAD_WITH_ALTERED_SEARCH_PATH;
  if (HMODULE module = LoadLibraryExW(file.c_str(), nullptr, flags))
    return reinterpret_cast<void*>(module);
  const DWORD code = GetLastError();
  // Error 126 names no file: for a module that is there, it is one of the
  // libraries that the module depends on that is missing.
  const bool module_exists = GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string reason = code == ERROR_MOD_NOT_FOUND && module_exists
                                 ? "a library that the module depends on is missing: "
                                 : "";
  throw system_failure(where, kind::binding, path + ": " + reason + "LoadLibraryExW", code,
                       system_text(code), path);
}

void* find_symbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

}  // namespace tolvane::platform
