// Running one component executable to its end under the launcher's
// interrupt policy: an interrupt gives the child 0.25 s more, then it is
// terminated and reaped, and the launcher ends with the interruption.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// Exit code of a child whose standard output is the launcher's own. An
// element that cannot reach the child whole (one holding a NUL) fails
// before anything is started, here and in run_converter.
std::uint32_t run_component(const std::string& where, const std::string& program,
                            const std::vector<std::string>& argv);

struct ConverterResult {
  std::uint32_t exit_code = 0;
  // The last line of the output; nullopt when there was no output.
  std::optional<std::string> last_line;
  // The last line was longer than any command line can carry; last_line
  // holds only its beginning.
  bool last_line_too_long = false;
  // Set when the output is not valid text in the expected encoding.
  std::optional<std::string> decode_error;
};

// Runs the converter with its output on a pipe, drained and decoded as it
// streams.
ConverterResult run_converter(const std::string& where, const std::string& program,
                              const std::vector<std::string>& argv);

}  // namespace tolvane
