// Windows only: runs a program with its standard output on a pipe and
// reads that to its end in 64 KiB pieces, discarding it. Under Wine this
// is what a pipe between two Windows processes can carry, without any
// work on the data. Usage: sink.exe PROGRAM; exits with PROGRAM's code.

#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sink.exe PROGRAM\n");
    return 2;
  }
  const std::string name =
      "\\\\.\\pipe\\tolvane-bench-sink-" + std::to_string(GetCurrentProcessId());
  HANDLE read_end = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0,
                                     64 * 1024, 0, nullptr);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE write_end =
      CreateFileA(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
  if (read_end == INVALID_HANDLE_VALUE || write_end == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "sink: cannot make the pipe (%lu)\n", GetLastError());
    return 2;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string command = std::string("\"") + argv[1] + "\"";
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(argv[1], command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &child)) {
    std::fprintf(stderr, "sink: cannot start %s (%lu)\n", argv[1], GetLastError());
    return 2;
  }
  CloseHandle(write_end);
  CloseHandle(child.hThread);

  static char buffer[64 * 1024];
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  unsigned long long total = 0;
  for (;;) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = done;
    DWORD got = 0;
    if (!ReadFile(read_end, buffer, sizeof buffer, &got, &overlapped)) {
      const DWORD code = GetLastError();
      if (code == ERROR_BROKEN_PIPE) break;
      if (code != ERROR_IO_PENDING) return 2;
      if (!GetOverlappedResult(read_end, &overlapped, &got, TRUE)) {
        if (GetLastError() == ERROR_BROKEN_PIPE) break;
        return 2;
      }
    }
    total += got;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  std::fprintf(stderr, "sink: %llu bytes\n", total);
  return static_cast<int>(code);
}
