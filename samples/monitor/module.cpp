#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "console.hpp"
#include "tolvane/component.hpp"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

using samples::print_line;
using samples::Stream;

// The launcher does not pass -nogui on, so look at its own command line.
std::vector<std::string> process_arguments() {
  std::vector<std::string> words;
#if defined(_WIN32)
  int count = 0;
  if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) words.push_back(samples::utf8_from_wide(argv[i]));
    LocalFree(argv);
  }
#else
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = all.find('\0', start);
    words.push_back(all.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
#endif
  return words;
}

// "-nogui" may be abbreviated down to "-n" and may carry "=value".
bool asks_for_nogui(const std::vector<std::string>& words) {
  constexpr std::string_view option = "-nogui";
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string_view word = std::string_view(words[i]).substr(0, words[i].find('='));
    if (word.size() >= 2 && option.starts_with(word)) return true;
  }
  return false;
}

class Monitor final : public tolvane::component::Monitor {
 public:
  Monitor(std::string model_path, const std::string&, const void*)
      : model_path_(std::move(model_path)) {
    nogui = asks_for_nogui(process_arguments());
  }

  void monitor_main() override {
    print_line(Stream::out, "monitor: model " + model_path_ + ", res2frd " + res2frd_path);
  }

  void nogui_mode() override { print_line(Stream::out, "monitor: running unattended"); }

  void run_process() override {
    for (int step = 1; step <= 3 && !done; ++step) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      print_line(Stream::out, "monitor: step " + std::to_string(step) + "/3");
    }
    done = true;
  }

  void signal_handler(int) override {
    print_line(Stream::out, "monitor: interrupt received, stopping");
    done = true;
  }

 private:
  std::string model_path_;
};

}  // namespace

TOLVANE_EXPORT_MONITOR(Monitor);
