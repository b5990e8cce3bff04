#include <atomic>
#include <string>
#include <utility>

#include "../os.hpp"
#include "../platform/console.hpp"
#include "../platform/modules.hpp"
#include "check.hpp"

namespace tolvane::check {

Verdict passed(std::string note) { return {Level::pass, std::move(note), {}}; }
Verdict warned(std::string seen, std::string fix) {
  return {Level::warn, std::move(seen), std::move(fix)};
}
Verdict failed(std::string seen, std::string fix) {
  return {Level::fail, std::move(seen), std::move(fix)};
}

std::filesystem::path fs_path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string part_file(const std::string& dir, Part part) {
  const auto in = [&](const char* folder, const std::string& name) {
    return os::path::join(os::path::join(dir, folder), name);
  };
  const std::string module = platform::module_suffix;
  switch (part) {
    case Part::converter_module: return in("inp_converter", "main" + module);
    case Part::editor_module: return in("editor", "gui" + module);
    case Part::monitor_module: return in("monitor", "gui" + module);
    case Part::converter_tool: return in("tools", "inp_converter.exe");
    case Part::editor_tool: return in("tools", "editor.exe");
    case Part::monitor_tool: return in("tools", "monitor.exe");
  }
  return {};
}

bool has_part(const std::string& dir, Part part) { return platform::is_file(part_file(dir, part)); }

ChainPaths chain_paths(const Setting& setting) {
  ChainPaths paths;
  paths.inp_path = setting.deck;
  paths.dir_path = os::path::dirname(setting.deck);
  paths.model = setting.deck.substr(0, setting.deck.size() - 4);
  paths.setting = os::path::join(setting.dir, "session.xml");
  paths.exepath = os::path::join(os::path::realpath(setting.dir), "FrontISTR-DEV250506");
  paths.res2frd = os::path::join(os::path::join(setting.dir, "exes"), "res2frd.exe");
  return paths;
}

std::string seconds_text(std::chrono::milliseconds duration) {
  const auto ms = duration.count();
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) text.append(".").append(std::to_string(ms % 1000 / 100));
  return text.append(" s");
}

namespace {
std::atomic<bool> announcing{false};
}  // namespace

void announce_calls(bool on) { announcing.store(on); }

void announce_call(const char* where) {
  if (!announcing.load()) return;
  // After a line end, as a component may have left its last line open.
  platform::write_text_if_possible(platform::Stream::out,
                                   std::string("\n") + call_marker + where + "\n");
}

}  // namespace tolvane::check
