// Monitor stand-in that reports its parent's (the launcher's) peak
// resident memory so far, so the launcher is measured apart from the
// converter that it drained. Prints "VmHWM: N kB".

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

namespace {

DWORD parent_pid() {
  const DWORD self = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  CloseHandle(snapshot);
  return parent;
}

}  // namespace

int main() {
  const DWORD parent = parent_pid();
  HANDLE process =
      parent ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, parent)
             : nullptr;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!process || !K32GetProcessMemoryInfo(process, &counters, sizeof counters)) {
    std::fprintf(stderr, "hwm: cannot read the memory of process %lu\n", parent);
    return 1;
  }
  CloseHandle(process);
  std::printf("VmHWM: %llu kB\n",
              static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024));
  return 0;
}

#else
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

int main() {
  const std::string status = "/proc/" + std::to_string(::getppid()) + "/status";
  std::ifstream in(status);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmHWM:", 0) == 0) {
      std::printf("%s\n", line.c_str());
      return 0;
    }
  std::fprintf(stderr, "hwm: no VmHWM in %s\n", status.c_str());
  return 1;
}
#endif
