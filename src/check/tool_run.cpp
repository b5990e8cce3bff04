// A run of the tool form: the launcher's file_exe on the layout's tools (the
// validator standing in for those it lacks), each run once with a time limit
// and the model folder as earlier tools leave it; and a run on a missing deck.

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "../chain_observer.hpp"
#include "../failure.hpp"
#include "../heading.hpp"
#include "../main.hpp"
#include "../os.hpp"
#include "../platform/file_system.hpp"
#include "../platform/output_decoder.hpp"
#include "../process_info.hpp"
#include "../utf.hpp"
#include "call_watch.hpp"
#include "runs.hpp"
#include "stand_ins.hpp"
#include "verdicts.hpp"

namespace tolvane::check {

namespace {

std::string exit_code_text(std::uint32_t code) {
  // Windows' crash codes read best in hexadecimal.
  if (code < 0x10000) return std::to_string(code);
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) hex += "0123456789ABCDEF"[(code >> shift) & 15];
  return hex;
}

std::string rules_of(Role role) {
  switch (role) {
    case Role::converter: return see("Converter: tools/inp_converter.exe");
    case Role::editor: return see("Editor: tools/editor.exe");
    case Role::monitor: return see("Monitor: tools/monitor.exe");
  }
  return {};
}

const char* run_check_of(Role role) {
  switch (role) {
    case Role::converter: return "converter-tool.run";
    case Role::editor: return "editor-tool.run";
    case Role::monitor: return "monitor-tool.run";
  }
  return "";
}

// The last line of raw output bytes as far as LF and CR end lines: what a
// converter wrote before the launcher decoded it.
std::string last_raw_line(std::string bytes) {
  if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  const auto end = bytes.find_last_of("\r\n");
  return end == std::string::npos ? bytes : bytes.substr(end + 1);
}

class ToolWatch final : public ChainObserver {
 public:
  ToolWatch(const RunSetting& setting, RunReport& report)
      : setting_(setting), report_(report), calls_(Form::tools, setting, report) {}

  void calling(const char* where) override {
    const Role role = role_of(where);
    if (role == Role::editor) model_before_editor_ = platform::is_folder(model());
    if (role == Role::monitor) decide("model-tool.folder", model_folder_verdict());
    // A stand-in is this executable, told so by its environment alone.
    if (!setting_.present(Form::tools, role)) os::setenv(stand_in_variable, kind_of(role).name);
    calls_.begun(where);
  }

  void tool_output(std::string_view bytes) override {
    tail_.append(bytes);
    constexpr std::size_t kept = std::size_t{256} * 1024;
    if (tail_.size() > 2 * kept) tail_.erase(0, tail_.size() - kept);
  }

  void converted(const ConverterResult& result) override {
    tool_over(kind_of(Role::converter).tool);
    const std::string rules = rules_of(Role::converter);
    if (result.exit_code != 0)
      decide("converter-tool.run",
             failed("inp_converter.exe exited with code " + exit_code_text(result.exit_code) +
                        " for the deck: the launcher stops with status 1",
                    "exit with 0 when the conversion succeeds; " + deck_path_fix(Form::tools) +
                        "; check your own deck with --deck FILE"));
    else
      decide("converter-tool.run", passed());
    if (result.decode_error)
      decide("converter-tool.output",
             failed(*result.decode_error + ": the launcher stops with status 1",
                    "write the output in the system's ANSI code page (natively UTF-8)" + rules));
    else if (!result.last_line)
      decide("converter-tool.output",
             failed("the output is empty: the launcher stops with status 1",
                    "end the output with the line header:<heading>" + rules));
    else if (result.exit_code == 0)
      decide("converter-tool.output", passed());
    if (result.exit_code == 0 && result.last_line) decide_heading(result);
  }

  void tool_ended(const char* where, std::uint32_t exit_code) override {
    tool_over(where);
    const Role role = role_of(where);
    if (exit_code == 0) {
      decide(run_check_of(role), passed());
      return;
    }
    decide(run_check_of(role),
           failed(std::string(where) + " exited with code " + exit_code_text(exit_code) +
                      " for its argument vector: the launcher stops with status " +
                      std::to_string(kind_of(role).failed_status),
                  "take the argument vector as the launcher gives it, and exit with 0 to let "
                  "the run go on; " +
                      deck_path_fix(Form::tools) + rules_of(role)));
  }

  // The verdict of the failure the chain ended with: a tool that could not
  // start, or outlived its time.
  void failed_with(const Failure& failure) {
    if (failure.kind() == kind::interrupted) throw failure;
    const std::string& where = failure.where();
    tool_over(where.c_str());
    const Role role = role_of(where.c_str());
    const std::string rules = rules_of(role);
    // What cannot even start the editor is the heading it was to get.
    if (role == Role::editor && (failure.kind() == kind::bad_value ||
                                 failure.message().find("command line") != std::string::npos)) {
      decide("converter-tool.heading",
             failed(failure.message(),
                    "keep the heading short, without NUL" + rules_of(Role::converter)));
      return;
    }
    if (failure.kind() == kind::timeout) {
      decide(run_check_of(role),
             failed(where + ": " + failure.message(),
                    std::string(failure.message().starts_with("it ended")
                                    ? "let no process of yours keep the standard output open "
                                      "once the tool ends"
                                    : "end when the work is over; a longer run needs --timeout") +
                        rules));
      return;
    }
    decide(run_check_of(role), failed(said(failure), "see" + see("Tool executables")));
  }

  void decide(const char* name, const Verdict& verdict) {
    const Check* check = find_check(name);
    if (!concerns_layout(*check, setting_) || decided_.count(name) != 0) return;
    decided_.insert(name);
    report_.verdict(*check, verdict);
  }

 private:
  static Role role_of(const char* where) {
    for (const ComponentKind& kind : component_kinds)
      if (std::string_view(where) == kind.tool) return kind.role;
    return Role::converter;
  }

  std::string model() const { return model_path_of(setting_.deck); }

  void tool_over(const char* where) {
    os::setenv(stand_in_variable, std::nullopt);
    calls_.ended(where);
  }

  Verdict model_folder_verdict() const {
    if (!platform::is_folder(model()))
      throw Stop{find_check("model-tool.folder"),
                 failed("the model folder " + model() +
                            " does not exist once inp_converter.exe and editor.exe have ended",
                        "the converter or the editor must create it: the launcher creates none, "
                        "and the monitor expects it" +
                            see("Rules for every component"))};
    if (!model_before_editor_ && !setting_.present(Form::tools, Role::editor))
      return warned(
          "inp_converter.exe made no model folder, and this run's stand-in editor made it",
          paired_editor_fix());
    return passed();
  }

  void decide_heading(const ConverterResult& result) {
    const std::string rules = rules_of(Role::converter);
    const std::string& line = *result.last_line;
    if (result.last_line_too_long) {
      decide("converter-tool.heading",
             failed("the last line is longer than a command line can carry (over " +
                        std::to_string(longest_kept_line) +
                        " bytes): the launcher stops with "
                        "status 1",
                    "keep the heading short" + rules));
      return;
    }
    std::string quoted = "\"";
    quoted.append(heading_of(line)).append("\"");
    if (!line.starts_with("header:")) {
      decide("converter-tool.heading",
             warned("the last line has no \"header:\" tag, so the editor gets the whole line \"" +
                        line + "\" as its heading",
                    "end the output with the line header:<heading>" + rules));
      return;
    }
    const std::string encoding = platform::make_output_decoder()->name();
    const std::string raw = last_raw_line(tail_);
    std::string ignored;
    utf::Utf8Validator validator;
    if (encoding != "UTF-8" && encoding != "cp65001" && utf::ascii_prefix(raw) < raw.size() &&
        validator.feed(raw, ignored) && validator.finish()) {
      decide("converter-tool.heading",
             warned("the heading's bytes are UTF-8, but the launcher reads the output in the "
                    "ANSI code page (" +
                        encoding + "), so the editor gets " + quoted,
                    "write the output in the system's ANSI code page (WideCharToMultiByte with "
                    "CP_ACP)" +
                        rules));
      return;
    }
    decide("converter-tool.heading", passed(quoted));
  }

  const RunSetting& setting_;
  RunReport& report_;
  CallWatch calls_;
  std::set<std::string> decided_;
  std::string tail_;
  bool model_before_editor_ = false;
};

// The converter alone, on a deck that is not there.
void run_missing_deck(const RunSetting& setting, RunReport& report) {
  CallWatch calls(Form::tools, setting, report);
  const std::string missing = os::path::join(os::path::dirname(setting.deck), "no such deck.inp");
  const std::string program = tool_path(setting.dir, kind_of(Role::converter));
  const char* where = kind_of(Role::converter).tool;
  calls.begun(where);
  ConverterResult result;
  try {
    result = run_converter_tool(where, program, {program, missing},
                                platform::Clock::now() + setting.timeout);
  } catch (const Failure& failure) {
    if (failure.kind() == kind::interrupted) throw;
    result.exit_code = 1;  // the run check says why it cannot start
  }
  calls.ended(where);
  const Check& check = *find_check("converter-tool.missing-deck");
  if (!result.timed_out && result.exit_code == 0)
    report.verdict(check, warned("inp_converter.exe exited with 0 for a deck that does not "
                                 "exist, so the launcher would go on to the editor",
                                 "exit with a code other than 0 when the conversion fails" +
                                     rules_of(Role::converter)));
  else
    report.verdict(check, passed());
}

}  // namespace

void run_tools(const Run& run, const RunSetting& setting, RunReport& report) {
  if (run.missing_deck) {
    run_missing_deck(setting, report);
    report.ended();
    return;
  }
  auto* watch = new ToolWatch(setting, report);  // outlives the run, as its watchdog does
  const std::string folder = os::path::realpath(setting.dir);
  ChainSetup chain;
  chain.program_folder = folder;
  chain.invocation_folder = setting.dir;
  chain.tool_program = [&setting](const ComponentKind& kind) {
    if (setting.present(Form::tools, kind.role)) return tool_path(setting.dir, kind);
    return invocation_path();
  };
  chain.observer = watch;
  chain.tool_limit = setting.timeout;
  Tolvane launcher(setting.deck, os::path::dirname(setting.deck),
                   os::path::join(folder, solver_folder), std::move(chain));
  try {
    launcher.file_exe();
  } catch (const Stop& stop) {
    watch->decide(stop.check->name, stop.verdict);
  } catch (const ExitRequest&) {
    // A tool that exited with another code than 0: said when it ended.
  } catch (const Failure& failure) {
    watch->failed_with(failure);
  }
  report.ended();
}

}  // namespace tolvane::check
