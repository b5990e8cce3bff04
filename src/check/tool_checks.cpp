// The checks of the tool executables: each runs its tool as the launcher
// does, with the exact argument vector and a time limit, and the
// converter's output through the launcher's own decoding.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "../command_line.hpp"
#include "../failure.hpp"
#include "../heading.hpp"
#include "../os.hpp"
#include "../tool_runs.hpp"
#include "check.hpp"

namespace tolvane::check {

namespace {

constexpr std::string_view converter_rules =
    " (docs/components.md, \"Converter: tools/inp_converter.exe\")";

std::string exit_code_text(std::uint32_t code) {
  // Windows' crash codes read best in hexadecimal.
  if (code < 0x10000) return std::to_string(code);
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) hex += "0123456789ABCDEF"[(code >> shift) & 15];
  return hex;
}

platform::Clock::time_point deadline_of(const Setting& setting) {
  return platform::Clock::now() + setting.timeout;
}

// The converter run on the deck, as the launcher runs it; a run that
// cannot even start stops the check.
ConverterResult convert(const Setting& setting, const std::string& deck) {
  const std::string program = part_file(setting.dir, Part::converter_tool);
  try {
    return run_converter_tool_until("inp_converter.exe", program, {program, deck},
                                    deadline_of(setting));
  } catch (const Failure& failure) {
    if (failure.kind() == kind::interrupted) throw;
    throw Stop{failed(failure.message(), "see docs/components.md, \"Tool executables\"")};
  }
}

// The converter run that the launcher would go on from, or the verdict
// that stops it.
ConverterResult successful_conversion(const Setting& setting) {
  ConverterResult result = convert(setting, setting.deck);
  if (result.timed_out)
    throw Stop{failed("inp_converter.exe did not end within " + seconds_text(setting.timeout),
                      "end when the conversion is over; a longer one needs --timeout" +
                          std::string(converter_rules))};
  if (result.exit_code != 0)
    throw Stop{failed("inp_converter.exe exited with code " + exit_code_text(result.exit_code) +
                          " for the deck: the launcher stops with status 1",
                      "exit with 0 when the conversion succeeds; check your own deck with "
                      "--deck FILE" +
                          std::string(converter_rules))};
  return result;
}

Verdict converter_run(const Setting& setting) {
  successful_conversion(setting);
  return passed();
}

Verdict converter_output(const Setting& setting) {
  const ConverterResult result = successful_conversion(setting);
  if (result.decode_error)
    return failed(*result.decode_error + ": the launcher stops with status 1",
                  "write the output in the system's ANSI code page (natively UTF-8)" +
                      std::string(converter_rules));
  if (!result.last_line)
    return failed("the output is empty: the launcher stops with status 1",
                  "end the output with the line header:<heading>" + std::string(converter_rules));
  return passed();
}

Verdict converter_heading(const Setting& setting) {
  const ConverterResult result = successful_conversion(setting);
  if (result.decode_error || !result.last_line)
    return failed("there is no heading to check: see converter-tool.output", "");
  if (result.last_line_too_long)
    return failed("the last line is longer than a command line can carry (over " +
                      std::to_string(longest_kept_line) + " bytes)",
                  "keep the heading short" + std::string(converter_rules));
  const std::string& line = *result.last_line;
  const std::string heading = heading_of(line);
  if (heading.find('\0') != std::string::npos)
    return failed("the heading holds a NUL character, which no argument can carry",
                  "leave NUL out of the heading" + std::string(converter_rules));
  const ChainPaths paths = chain_paths(setting);
  const std::string editor = part_file(setting.dir, Part::editor_tool);
  const std::size_t length = join_command_line({editor, paths.inp_path, paths.exepath, "-setting",
                                                paths.setting, "-header", heading})
                                 .size();
  if (platform::path_flavour == paths::Flavour::windows && length > longest_command_line)
    return failed("the editor's command line with this heading is " + std::to_string(length) +
                      " characters long; Windows takes at most " +
                      std::to_string(longest_command_line),
                  "keep the heading short" + std::string(converter_rules));
  if (line.rfind("header:", 0) != 0)
    return warned("the last line has no \"header:\" tag, so the editor gets the whole line \"" +
                      line + "\" as its heading",
                  "end the output with the line header:<heading>" + std::string(converter_rules));
  return passed("\"" + heading + "\"");
}

Verdict converter_missing_deck(const Setting& setting) {
  const std::string missing = os::path::join(os::path::dirname(setting.deck), "no such deck.inp");
  const ConverterResult result = convert(setting, missing);
  if (!result.timed_out && result.exit_code == 0)
    return warned(
        "inp_converter.exe exited with 0 for a deck that does not exist, so the "
        "launcher would go on to the editor",
        "exit with a code other than 0 when the conversion fails" + std::string(converter_rules));
  return passed();
}

// Runs a tool that takes the launcher's output streams as they are.
Verdict ran(const Setting& setting, const char* where, const std::vector<std::string>& argv,
            const std::string& rules) {
  std::optional<std::uint32_t> code;
  try {
    code = run_tool_until(where, argv.front(), argv, deadline_of(setting));
  } catch (const Failure& failure) {
    if (failure.kind() == kind::interrupted) throw;
    return failed(failure.message(), "see docs/components.md, \"Tool executables\"");
  }
  if (!code)
    return failed(std::string(where) + " did not end within " + seconds_text(setting.timeout),
                  "end when the user is done; a longer run needs --timeout" + rules);
  if (*code != 0)
    return failed(std::string(where) + " exited with code " + exit_code_text(*code) +
                      " for its argument vector",
                  "take the argument vector as the launcher gives it, and exit with 0 to let "
                  "the run go on" +
                      rules);
  return passed();
}

Verdict editor_run(const Setting& setting) {
  const ChainPaths paths = chain_paths(setting);
  return ran(setting, "editor.exe",
             {part_file(setting.dir, Part::editor_tool), paths.inp_path, paths.exepath, "-setting",
              paths.setting, "-header", "Tolvane check heading"},
             " (docs/components.md, \"Editor: tools/editor.exe\")");
}

Verdict monitor_run(const Setting& setting) {
  const ChainPaths paths = chain_paths(setting);
  std::filesystem::create_directories(fs_path(paths.model));
  return ran(setting, "monitor.exe",
             {part_file(setting.dir, Part::monitor_tool), paths.model, "-setting", paths.setting},
             " (docs/components.md, \"Monitor: tools/monitor.exe\")");
}

constexpr auto converter = static_cast<unsigned>(Part::converter_tool);

constexpr Check checks[] = {
    {"converter-tool.run", "inp_converter.exe exits with 0 for the deck", converter, false, false,
     converter_run},
    {"converter-tool.output", "its output decodes strictly and is not empty", converter, false,
     false, converter_output},
    {"converter-tool.heading", "its last line is header:<heading>, short enough to pass on",
     converter, false, false, converter_heading},
    {"converter-tool.missing-deck", "it exits with a code other than 0 for a missing deck",
     converter, false, false, converter_missing_deck},
    {"editor-tool.run", "editor.exe takes its seven arguments and exits with 0",
     static_cast<unsigned>(Part::editor_tool), false, false, editor_run},
    {"monitor-tool.run", "monitor.exe takes its four arguments and exits with 0",
     static_cast<unsigned>(Part::monitor_tool), false, false, monitor_run},
};

}  // namespace

std::span<const Check> tool_checks() { return checks; }

}  // namespace tolvane::check
