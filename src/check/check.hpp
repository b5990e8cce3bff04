// tolvane-check: what its parts share. The validator runs the launcher's
// own pipelines (src/module_chain.cpp, src/tool_chain.cpp) on a layout,
// in runs: each run is one pass of a chain as the launcher makes it, in a
// child process of its own, watched step by step. A check is a rule that
// one step of a run must keep; it says PASS, WARN, FAIL or SKIP, with
// what it saw and what fixes it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "../component_kinds.hpp"

namespace tolvane::check {

enum class Level { pass, warn, fail, skip };

// What a check saw; for WARN and FAIL also what to do about it, naming
// the section of docs/components.md, the field or the macro that fixes it.
struct Verdict {
  Level level = Level::pass;
  std::string seen;
  std::string fix;
};

inline Verdict passed(std::string note = {}) { return {Level::pass, std::move(note), {}}; }
inline Verdict warned(std::string seen, std::string fix) {
  return {Level::warn, std::move(seen), std::move(fix)};
}
inline Verdict failed(std::string seen, std::string fix) {
  return {Level::fail, std::move(seen), std::move(fix)};
}
inline Verdict skipped(std::string why) { return {Level::skip, std::move(why), {}}; }

// Ends a run where it stands, with the verdict of the check it broke;
// thrown by the observer of a run, never across the C interface.
struct Check;
struct Stop {
  const Check* check;
  Verdict verdict;
};

enum class Form { modules, tools };

// One pass of a chain, as the launcher would make it.
struct Run {
  const char* name;  // "modules -nogui", as the lines name it
  Form form;
  bool nogui;         // "-nogui" on the command line, as a user gives it
  bool interrupts;    // Ctrl-C pressed twice while the monitor runs unattended
  bool missing_deck;  // the converter alone, on a deck that is not there
};

// What a run works with.
struct RunSetting {
  std::string dir;   // the layout, absolute
  std::string deck;  // the run's own copy of the deck, in a folder of its own
  std::chrono::milliseconds timeout{10000};
  // The components the layout holds, by form; the others are stand-ins.
  bool module_present[3] = {false, false, false};
  bool tool_present[3] = {false, false, false};
  bool present(Form form, Role role) const {
    const auto i = static_cast<std::size_t>(role);
    return form == Form::modules ? module_present[i] : tool_present[i];
  }
};

}  // namespace tolvane::check
