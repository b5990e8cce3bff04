// SPDX-License-Identifier: MIT
// The monitor, as a tool executable (tools/monitor.exe on every platform).
// The launcher starts it with four arguments:
//   monitor.exe MODEL -setting SETTINGS
// MODEL is the model folder (the deck's path less ".inp"), SETTINGS the
// settings file. A real monitor follows the solver's run there until it
// ends; exit status 0 ends the chain well, any other makes the launcher
// end with status 3.
//
// On Windows the entry is wmain (WMAIN in CMakeLists.txt), so that every
// file name arrives whole, whatever the code page.
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace {

int usage() {
  std::fputs("usage: monitor MODEL -setting SETTINGS\n", stderr);
  return 2;
}

int monitor(const std::filesystem::path& model, const std::filesystem::path& settings) {
  std::error_code error;
  if (!std::filesystem::is_directory(model, error)) {
    std::fputs("monitor: the model folder is missing\n", stderr);
    return 1;
  }
  (void)settings;
  const auto name = model.filename().u8string();  // UTF-8 in C++17 and C++20 alike
  std::fputs("monitor: watching model ", stdout);
  std::fwrite(name.data(), 1, name.size(), stdout);
  std::fputs("\nmonitor: the run is over\n", stdout);
  return 0;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  if (argc != 4 || std::wstring_view(argv[2]) != L"-setting") return usage();
  return monitor(argv[1], argv[3]);
}
#else
int main(int argc, char** argv) {
  if (argc != 4 || std::string_view(argv[2]) != "-setting") return usage();
  return monitor(argv[1], argv[3]);
}
#endif
