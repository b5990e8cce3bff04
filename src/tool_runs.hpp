// Running one component executable to its end under the launcher's
// interrupt policy: an interrupt gives the child 0.25 s more, then it is
// terminated and reaped, and the launcher ends with the interruption.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/interrupts.hpp"

namespace tolvane {

// Exit code of a child whose standard output is the launcher's own. An
// element that cannot reach the child whole (one holding a NUL) fails
// before anything is started, here and in run_converter_tool.
std::uint32_t run_tool(const std::string& where, const std::string& program,
                       const std::vector<std::string>& argv);

// The same with a time limit, for a caller that must not wait for ever and
// shows only lines of its own (a check of a component): the child's output
// goes to the null device, and nullopt says that it was still running at
// the deadline, and was ended.
std::optional<std::uint32_t> run_tool_until(const std::string& where, const std::string& program,
                                            const std::vector<std::string>& argv,
                                            platform::Clock::time_point deadline);

struct ConverterResult {
  std::uint32_t exit_code = 0;
  // The last line of the output; nullopt when there was no output.
  std::optional<std::string> last_line;
  // The last line was longer than any command line can carry; last_line
  // holds only its beginning.
  bool last_line_too_long = false;
  // Set when the output is not valid text in the expected encoding.
  std::optional<std::string> decode_error;
  // The converter was still running at the deadline, and was ended.
  bool timed_out = false;
};

// Runs the converter with its output on a pipe, drained and decoded as it
// streams.
ConverterResult run_converter_tool(const std::string& where, const std::string& program,
                                   const std::vector<std::string>& argv);

// The same with a time limit, for a caller that shows only lines of its
// own: the converter's standard error goes to the null device.
ConverterResult run_converter_tool_until(const std::string& where, const std::string& program,
                                         const std::vector<std::string>& argv,
                                         platform::Clock::time_point deadline);

}  // namespace tolvane
