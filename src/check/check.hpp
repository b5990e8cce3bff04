// tolvane-check: the checks it runs against a folder laid out as the
// launcher expects, and what they share. A check runs the chain's steps
// with the launcher's own binding, calls, child start and decoding, and
// says PASS, WARN or FAIL, with what it saw and what fixes it.
#pragma once

#include <chrono>
#include <filesystem>
#include <span>
#include <string>

namespace tolvane::check {

enum class Level { pass, warn, fail };

// What a check saw; for WARN and FAIL also what to do about it, naming
// the section of docs/components.md, the field or the macro that fixes it.
struct Verdict {
  Level level = Level::pass;
  std::string seen;
  std::string fix;
};

Verdict passed(std::string note = {});
Verdict warned(std::string seen, std::string fix);
Verdict failed(std::string seen, std::string fix);

// Thrown by a step whose outcome ends the check.
struct Stop {
  Verdict verdict;
};

// The files of a layout that checks need.
enum class Part : unsigned {
  converter_module = 1,
  editor_module = 2,
  monitor_module = 4,
  converter_tool = 8,
  editor_tool = 16,
  monitor_tool = 32,
};
std::string part_file(const std::string& dir, Part part);
bool has_part(const std::string& dir, Part part);

// What one check works with.
struct Setting {
  std::string dir;   // the layout, absolute
  std::string deck;  // the check's own copy of the deck, absolute, in a folder of its own
  std::chrono::milliseconds timeout{10000};
};

// The paths that the launcher would derive for the deck in the layout.
struct ChainPaths {
  std::string inp_path, dir_path, model, setting, exepath, res2frd;
};
ChainPaths chain_paths(const Setting& setting);

struct Check {
  const char* name;
  const char* description;
  unsigned needs;  // Part bits, all of which the layout must have
  // Module checks run in a child process of their own, so that a crash, a
  // hang or an exit() is their result; tool checks run their tool as the
  // child.
  bool in_child;
  // Started with "-nogui" on its command line, which a monitor may read.
  bool nogui;
  Verdict (*run)(const Setting&);
};

// A path of the file system from UTF-8 text, on every platform.
std::filesystem::path fs_path(const std::string& utf8);

// "10 s", "2.5 s"
std::string seconds_text(std::chrono::milliseconds duration);

std::span<const Check> module_checks();
std::span<const Check> tool_checks();

// In a check's child process, a line before each call into a component,
// so that the parent can tell which call crashed, ended or hung.
inline constexpr const char* call_marker = "tolvane-check-call: ";
inline constexpr const char* result_marker = "tolvane-check-result: ";
void announce_calls(bool on);
void announce_call(const char* where);

}  // namespace tolvane::check
