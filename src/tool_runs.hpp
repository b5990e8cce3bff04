// Running one tool to its end under the launcher's
// interrupt policy: an interrupt gives the child 0.25 s more, then it is
// terminated and reaped, and the launcher ends with the interruption.
// The child shares the launcher's standard streams, but the converter's
// standard output, which the launcher reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component_kinds.hpp"
#include "platform/interrupts.hpp"

namespace tolvane {

// A time limit for whoever must not wait for ever (the validator); the
// launcher has none.
using Deadline = std::optional<platform::Clock::time_point>;

// Where the layout at folder keeps kind's tool: FOLDER/tools/TOOL.
std::string tool_path(const std::string& folder, const ComponentKind& kind);

// How a time limit reads: "10 s", "2.5 s".
std::string seconds_text(std::chrono::milliseconds duration);

// The exit code; nullopt when the child was still running at the deadline,
// and was ended. An element that cannot reach the child whole (one holding
// a NUL) fails before anything is started, here and in run_converter_tool.
std::optional<std::uint32_t> run_tool(const std::string& where, const std::string& program,
                                      const std::vector<std::string>& argv, Deadline deadline);

struct ConverterResult {
  std::uint32_t exit_code = 0;
  // The last line of the output; nullopt when there was no output.
  std::optional<std::string> last_line;
  // The last line was longer than any command line can carry; last_line
  // holds only its beginning.
  bool last_line_too_long = false;
  // Set when the output is not valid text in the expected encoding.
  std::optional<std::string> decode_error;
  // The output had not ended at the deadline, and the converter was ended.
  bool timed_out = false;
  // ... although the converter itself had exited: a process that it
  // started still held its output open.
  bool output_held_open = false;
};

// Runs the converter with its output on a pipe, drained and decoded as it
// streams; each piece of the output goes to on_output (if any) as it came.
ConverterResult run_converter_tool(const std::string& where, const std::string& program,
                                   const std::vector<std::string>& argv, Deadline deadline,
                                   const std::function<void(std::string_view)>& on_output = {});

}  // namespace tolvane
