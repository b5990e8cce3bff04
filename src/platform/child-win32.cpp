// A tool as a child process on Windows: CreateProcessW
// with the launcher's quoting, exactly the three standard handles passed,
// and the converter's output on an overlapped pipe, so that an interrupt
// can cut a read short.

#include <windows.h>

#include <atomic>
#include <vector>

#include "../command_line.hpp"
#include "child.hpp"
#include "interrupts-win32.hpp"
#include "support-win32.hpp"

namespace tolvane::platform {

using win32::wide;

const std::uint32_t interrupted_exit_code = 0xC000013A;

struct Child::State {
  HANDLE process = nullptr;
  HANDLE job = nullptr;  // Group::own: the child and all it starts
  HANDLE out_read = INVALID_HANDLE_VALUE;
  HANDLE read_done = nullptr;
  OVERLAPPED overlapped{};
  bool exited = false;
  DWORD code = 0;
  SystemError failure;

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  // Leaves no child running and no handle open, whether the child ran or
  // its start failed half-way.
  ~State() {
    // Closing the job ends whatever is still in it.
    if (job) CloseHandle(job);
    if (process) {
      if (!exited) {
        TerminateProcess(process, STATUS_CONTROL_C_EXIT);
        WaitForSingleObject(process, INFINITE);
      }
      CloseHandle(process);
    }
    if (out_read != INVALID_HANDLE_VALUE) CloseHandle(out_read);
    if (read_done) CloseHandle(read_done);
  }
};

namespace {

// A handle closed when it goes out of scope.
struct OwnedHandle {
  HANDLE handle = nullptr;
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : handle(h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

std::atomic<unsigned> pipe_serial{0};

// An overlapped read end, so a read can be cut short by an interrupt, and
// a plain, non-inheritable write end for the child.
// The name is hard to guess and the pipe takes one local client, so that
// no other process can take the child's place on it.
std::optional<SystemError> make_output_pipe(HANDLE& read_end, HANDLE& write_end) {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  const std::wstring name = L"\\\\.\\pipe\\tolvane-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(pipe_serial.fetch_add(1)) + L"-" +
                            std::to_wstring(now.QuadPart);
  read_end = CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 1 << 20,
      0, nullptr);
  if (read_end == INVALID_HANDLE_VALUE) return win32::error("CreateNamedPipeW", GetLastError());
  write_end = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (write_end == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    CloseHandle(read_end);
    read_end = INVALID_HANDLE_VALUE;
    return win32::error("CreateFileW(pipe)", code);
  }
  return std::nullopt;
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

enum class ReadWait { completed, interrupted, timed_out, failed };

// Waits for the pending read until it completes, an interrupt is recorded,
// the deadline passes or the wait fails. A wake-up of the interrupt event
// that no interrupt goes with (one taken meanwhile) is reset, so that it
// cannot keep the next waits from sleeping.
ReadWait wait_for_read(HANDLE read_done, std::optional<Clock::time_point> deadline) {
  for (;;) {
    if (win32::interrupt_recorded()) return ReadWait::interrupted;
    HANDLE events[2] = {read_done, win32::interrupt_event()};
    const DWORD r = WaitForMultipleObjects(2, events, FALSE, win32::milliseconds_until(deadline));
    if (r == WAIT_OBJECT_0) return ReadWait::completed;
    if (r == WAIT_TIMEOUT) return ReadWait::timed_out;
    if (r != WAIT_OBJECT_0 + 1) return ReadWait::failed;
    if (!win32::interrupt_recorded()) ResetEvent(win32::interrupt_event());
  }
}

}  // namespace

std::optional<TooLong> command_line_too_long(const std::vector<std::string>& argv) {
  const std::size_t length = win32::wide(join_command_line(argv)).size();
  if (length <= longest_command_line) return std::nullopt;
  return TooLong{length, longest_command_line};
}

Child::Child() : state_(std::make_unique<State>()) {}

std::optional<SystemError> Child::start(const std::string& program,
                                        const std::vector<std::string>& argv, Sink output,
                                        Sink errors, Group group) {
  const bool capture_output = output == Sink::pipe;
  // The application name is always given: with none, an unquoted path with
  // blanks would be tried piece by piece.
  const std::wstring application = wide(program);
  std::wstring command_line = wide(join_command_line(argv));

  // Before the child exists, so that no failure can leave it running.
  state_->read_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (state_->read_done == nullptr) return win32::error("CreateEventW", GetLastError());
  OwnedHandle pipe_write;
  if (capture_output)
    if (auto failed = make_output_pipe(state_->out_read, pipe_write.handle)) return failed;

  const auto sunk = [&](Sink sink, DWORD own) {
    return sink == Sink::pipe ? pipe_write.handle : GetStdHandle(own);
  };
  // The child's copies; closed here once the child has its own.
  const OwnedHandle std_handles[3] = {
      OwnedHandle(inheritable_copy(GetStdHandle(STD_INPUT_HANDLE))),
      OwnedHandle(inheritable_copy(sunk(output, STD_OUTPUT_HANDLE))),
      OwnedHandle(inheritable_copy(sunk(errors, STD_ERROR_HANDLE)))};
  // Windows 7 and earlier give consoles pseudo-handles (low bits 11), which
  // a handle list refuses; they reach the child through its console anyway.
  HANDLE inherited[3];
  DWORD count = 0;
  for (const OwnedHandle& copy : std_handles)
    if (copy.handle && (reinterpret_cast<ULONG_PTR>(copy.handle) & 3) != 3)
      inherited[count++] = copy.handle;

  // Only these handles reach the child, whatever else may be inheritable.
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_storage(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &list_size))
    return win32::error("InitializeProcThreadAttributeList", GetLastError());
  struct DeleteList {
    LPPROC_THREAD_ATTRIBUTE_LIST list;
    ~DeleteList() { DeleteProcThreadAttributeList(list); }
  } delete_list{list};
  if (count > 0 && !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                              count * sizeof(HANDLE), nullptr, nullptr))
    return win32::error("UpdateProcThreadAttribute", GetLastError());

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = std_handles[0].handle;
  startup.StartupInfo.hStdOutput = std_handles[1].handle;
  startup.StartupInfo.hStdError = std_handles[2].handle;
  startup.lpAttributeList = list;

  if (group == Group::own) {
    // Suspended until it is in the job, so that nothing it starts escapes.
    state_->job = CreateJobObjectW(nullptr, nullptr);
    if (state_->job == nullptr) return win32::error("CreateJobObjectW", GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(state_->job, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits))
      return win32::error("SetInformationJobObject", GetLastError());
  }
  PROCESS_INFORMATION info{};
  const DWORD flags = EXTENDED_STARTUPINFO_PRESENT | (state_->job ? CREATE_SUSPENDED : 0);
  const BOOL started = CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr,
                                      TRUE, flags, nullptr, nullptr, &startup.StartupInfo, &info);
  const DWORD code = GetLastError();
  if (!started) return win32::error("CreateProcessW('" + program + "')", code, program);
  state_->process = info.hProcess;
  if (state_->job) {
    const BOOL assigned = AssignProcessToJobObject(state_->job, info.hProcess);
    const DWORD assign_error = GetLastError();
    if (!assigned || ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
      CloseHandle(info.hThread);
      return win32::error(assigned ? "ResumeThread" : "AssignProcessToJobObject",
                          assigned ? GetLastError() : assign_error);
    }
  }
  CloseHandle(info.hThread);
  return std::nullopt;
}

Child::~Child() = default;

Child::Event Child::read(std::string& chunk, std::optional<Clock::time_point> deadline) {
  constexpr DWORD piece = 256 * 1024;
  for (;;) {
    if (win32::interrupt_recorded()) return Event::interrupted;
    chunk.resize(piece);
    state_->overlapped = OVERLAPPED{};
    state_->overlapped.hEvent = state_->read_done;
    ResetEvent(state_->read_done);
    DWORD got = 0;
    if (!ReadFile(state_->out_read, chunk.data(), piece, &got, &state_->overlapped)) {
      DWORD code = GetLastError();
      if (code == ERROR_IO_PENDING) {
        const ReadWait waited = wait_for_read(state_->read_done, deadline);
        if (waited != ReadWait::completed) {
          // The read must be over before chunk and the OVERLAPPED go.
          const DWORD wait_error = GetLastError();
          CancelIoEx(state_->out_read, &state_->overlapped);
          GetOverlappedResult(state_->out_read, &state_->overlapped, &got, TRUE);
          if (got > 0) {
            chunk.resize(got);
            return Event::data;
          }
          if (waited == ReadWait::interrupted) return Event::interrupted;
          if (waited == ReadWait::timed_out) return Event::timed_out;
          state_->failure = win32::error("WaitForMultipleObjects", wait_error);
          return Event::failed;
        }
        if (GetOverlappedResult(state_->out_read, &state_->overlapped, &got, TRUE))
          code = ERROR_SUCCESS;
        else
          code = GetLastError();
      }
      if (code == ERROR_BROKEN_PIPE) return Event::end;
      if (code != ERROR_SUCCESS && code != ERROR_MORE_DATA) {
        state_->failure = win32::error("ReadFile", code);
        return Event::failed;
      }
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
    if (interruptible && win32::interrupt_recorded()) return Wait::interrupted;
    HANDLE events[2] = {state_->process, win32::interrupt_event()};
    const DWORD r = WaitForMultipleObjects(interruptible ? 2 : 1, events, FALSE,
                                           win32::milliseconds_until(deadline));
    if (r == WAIT_OBJECT_0) {
      GetExitCodeProcess(state_->process, &state_->code);
      state_->exited = true;
    } else if (r == WAIT_TIMEOUT) {
      return Wait::timed_out;
    } else if (r == WAIT_OBJECT_0 + 1) {
      if (!win32::interrupt_recorded()) ResetEvent(win32::interrupt_event());
    } else {
      state_->failure = win32::error("WaitForMultipleObjects", GetLastError());
      return Wait::failed;
    }
  }
}

void Child::terminate() {
  if (state_->job) TerminateJobObject(state_->job, STATUS_CONTROL_C_EXIT);
  if (!state_->exited) TerminateProcess(state_->process, STATUS_CONTROL_C_EXIT);
}

std::uint32_t Child::exit_code() const { return state_->code; }

const SystemError& Child::failure() const { return state_->failure; }

}  // namespace tolvane::platform
