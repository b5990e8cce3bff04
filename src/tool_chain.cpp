// The tool-executable pipeline, Tolvane::file_exe: the three tools from
// "tools" beside the launcher, one after another, each with its exact
// argument vector, the converter's heading passed on to the editor, and
// an exit status that says which tool stopped the chain.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "chain_observer.hpp"
#include "failure.hpp"
#include "heading.hpp"
#include "main.hpp"
#include "tool_runs.hpp"

namespace tolvane {

namespace {

// A tool that outlived the setup's time limit (the launcher sets none).
[[noreturn]] void over_time(const char* where, std::chrono::milliseconds limit,
                            bool output_held_open = false) {
  throw Failure(where, kind::timeout,
                output_held_open
                    ? "it ended, but a process that it started still holds its standard output "
                      "open, so its output never ends"
                    : "it did not end within " + seconds_text(limit));
}

}  // namespace

void Tolvane::file_exe() {
  ChainObserver& observer = chain.observer != nullptr ? *chain.observer : nobody_watching();
  root_dir = chain.invocation_folder;
  setting = os::path::join(*root_dir, settings_file);
  const auto program = [&](Role role) {
    const ComponentKind& kind = kind_of(role);
    return chain.tool_program ? chain.tool_program(kind) : tool_path(*root_dir, kind);
  };
  const auto deadline = [&]() -> Deadline {
    if (chain.tool_limit) return platform::Clock::now() + *chain.tool_limit;
    return std::nullopt;
  };
  // Runs one tool that shares the launcher's streams; its exit code.
  const auto run = [&](Role role, std::vector<std::string> argv) {
    const char* where = kind_of(role).tool;
    observer.calling(where);
    const auto code = run_tool(where, argv.front(), argv, deadline());
    if (!code) over_time(where, *chain.tool_limit);
    observer.tool_ended(where, *code);
    return *code;
  };

  const char* const converter_where = kind_of(Role::converter).tool;
  const std::string converter = program(Role::converter);
  observer.calling(converter_where);
  const ConverterResult converted =
      run_converter_tool(converter_where, converter, {converter, inp_path}, deadline(),
                         [&](std::string_view bytes) { observer.tool_output(bytes); });
  if (converted.timed_out)
    over_time(converter_where, *chain.tool_limit, converted.output_held_open);
  observer.converted(converted);
  if (converted.decode_error) throw Failure(converter_where, kind::decode, *converted.decode_error);
  if (converted.exit_code != 0) throw ExitRequest{kind_of(Role::converter).failed_status};
  if (!converted.last_line)
    throw Failure(converter_where, kind::bad_value,
                  "the converter ended without writing its header line");
  if (converted.last_line_too_long)
    throw Failure(converter_where, kind::bad_value,
                  "the converter's last line is longer than a command line can carry (over " +
                      std::to_string(longest_kept_line) + " bytes)");
  const std::string header = heading_of(*converted.last_line);

  const std::string editor = program(Role::editor);
  if (run(Role::editor, {editor, inp_path, exepath, "-setting", *setting, "-header", header}) != 0)
    throw ExitRequest{kind_of(Role::editor).failed_status};

  const std::string monitor = program(Role::monitor);
  if (run(Role::monitor, {monitor, model_path_of(inp_path), "-setting", *setting}) != 0)
    throw ExitRequest{kind_of(Role::monitor).failed_status};
}

}  // namespace tolvane
