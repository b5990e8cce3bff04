#include "runner.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include <tolvane/component.hpp>

#include "../binding.hpp"
#include "../diagnostics.hpp"
#include "../failure.hpp"
#include "../os.hpp"
#include "../platform/child.hpp"
#include "../platform/console.hpp"
#include "../platform/file_system.hpp"
#include "../platform/modules.hpp"
#include "../platform/process.hpp"
#include "../process_info.hpp"
#include "../tool_runs.hpp"
#include "in_process.hpp"
#include "report.hpp"
#include "runs.hpp"
#include "verdicts.hpp"
#include "work_folder.hpp"

namespace tolvane::check {

namespace {

using namespace std::chrono_literals;
using platform::Clock;
using platform::Stream;

RunSetting setting_of(const std::string& dir, std::chrono::milliseconds timeout) {
  RunSetting setting{dir, {}, timeout};
  for (const ComponentKind& kind : component_kinds) {
    const auto i = static_cast<std::size_t>(kind.role);
    setting.module_present[i] = platform::is_file(module_path(dir, kind));
    setting.tool_present[i] = platform::is_file(tool_path(dir, kind));
  }
  return setting;
}

// "<run>\t<timeout ms>\t<present bits>\t<dir>": what a run's child is to do.
std::string spec_of(std::size_t run, const RunSetting& setting) {
  unsigned present = 0;
  for (std::size_t i = 0; i < component_kinds.size(); ++i) {
    if (setting.module_present[i]) present |= 1u << i;
    if (setting.tool_present[i]) present |= 8u << i;
  }
  return std::to_string(run) + "\t" + std::to_string(setting.timeout.count()) + "\t" +
         std::to_string(present) + "\t" + setting.dir;
}

// What a run's child left unsaid when it died: the check of the call it
// was in, and why.
void tally_death(const Run& run, const std::string& label, const RunLines& lines,
                 std::uint32_t status, bool hung, const RunSetting& setting, Tally& tally) {
  std::string where =
      !lines.in_progress.empty() ? lines.in_progress.back() : lines.last_call.value_or("the run");
  std::string cause;
  std::string fix = ended_process_fix();
  if (hung) {
    cause = "did not return within " + seconds_text(setting.timeout);
    fix = hung_fix();
  } else if (lines.diagnostic) {
    // "WHERE: crash: segmentation fault (SIGSEGV)"
    const std::string& text = *lines.diagnostic;
    const auto crash = text.find(": crash: ");
    const auto colon = text.find(": ");
    if (colon != std::string::npos) where = text.substr(0, colon);
    if (crash != std::string::npos) {
      cause = "crashed: " + text.substr(crash + 9);
      const Check* check = check_of_call(run.form, where);
      fix =
          "a crash ends the launcher's run with status 1; to find it, run tolvane-check "
          "--in-process --filter " +
          std::string(check != nullptr ? check->name : "NAME") + " DIR under a debugger";
    } else {
      cause = "ended the run: " + text.substr(colon == std::string::npos ? 0 : colon + 2);
    }
  } else {
    cause = "ended the process with status " + std::to_string(status);
  }
  if (lines.chain_ended)
    cause += ", after the chain had returned, while the launcher could still be running";
  const Check* check = check_of_call(run.form, where);
  if (check == nullptr || !concerns_layout(*check, setting)) {
    // Not a call of the author's components (a stand-in's, or none): the
    // last check the run reached.
    check = nullptr;
    for (auto it = lines.verdicts.rbegin(); it != lines.verdicts.rend() && check == nullptr; ++it)
      check = it->check;
    if (check == nullptr)
      for (const Check& candidate : all_checks())
        if (meets(run, candidate) && concerns_layout(candidate, setting)) check = &candidate;
  }
  if (check != nullptr) tally.add(*check, label, failed(where + " " + cause, fix));
}

// Makes the run in a child process of its own, and reads what it says.
void run_in_child(std::size_t index, const std::string& label, const RunSetting& setting,
                  Tally& tally) {
  const Run& run = all_runs()[index];
  const std::string& self = invocation_path();
  // The words a launcher gets, so that a component that reads the
  // process's command line sees what it would see there.
  std::vector<std::string> argv = {self, setting.deck};
  if (run.nogui) argv.push_back("-nogui");
  os::setenv(run_variable, spec_of(index, setting));
  platform::Child child;
  auto not_started = child.start(self, argv, platform::Child::Sink::pipe,
                                 platform::Child::Sink::pipe, platform::Child::Group::own);
  os::setenv(run_variable, std::nullopt);
  if (not_started) throw system_failure(label, *not_started);

  // A run's own watchdog ends a call that does not return; this one is for
  // a run that cannot even do that.
  const auto backstop = setting.timeout + 5s;
  auto deadline = Clock::now() + backstop;
  std::optional<Clock::time_point> exited_at;
  RunLines lines;
  std::string chunk;
  bool hung = false;
  for (;;) {
    const auto event = child.read(chunk, std::min(deadline, Clock::now() + 200ms));
    if (event == platform::Child::Event::end) break;
    if (event == platform::Child::Event::failed) throw system_failure(label, child.failure());
    if (event == platform::Child::Event::data) {
      if (lines.feed(chunk)) deadline = Clock::now() + backstop;
      continue;
    }
    if (event == platform::Child::Event::interrupted) {
      child.terminate();
      throw Failure(label, kind::interrupted, "interrupted");
    }
    // The child may be gone while a process it started holds the output.
    if (!exited_at && child.wait(Clock::now(), false) == platform::Child::Wait::exited)
      exited_at = Clock::now();
    if (exited_at && Clock::now() - *exited_at > 1s) break;
    if (Clock::now() >= deadline) {
      hung = !exited_at;
      break;
    }
  }
  lines.finish();
  child.terminate();
  child.wait(std::nullopt, false);
  for (const auto& reached : lines.verdicts) tally.add(*reached.check, label, reached.verdict);
  if (!lines.ended) tally_death(run, label, lines, child.exit_code(), hung, setting, tally);
}

// Which runs the layout needs: a run of each form it holds; with a filter,
// only the first run that meets each chosen check.
std::vector<std::size_t> needed_runs(const RunSetting& setting,
                                     const std::vector<const Check*>& chosen, bool filtered) {
  std::vector<std::size_t> needed;
  for (const Check* check : chosen)
    for (std::size_t i = 0; i < all_runs().size(); ++i) {
      const Run& run = all_runs()[i];
      if (!meets(run, *check)) continue;
      if (run.missing_deck && !setting.present(Form::tools, Role::converter)) break;
      if (run.interrupts && !setting.present(Form::modules, Role::monitor)) break;
      if (std::find(needed.begin(), needed.end(), i) == needed.end()) needed.push_back(i);
      if (filtered) break;
    }
  std::sort(needed.begin(), needed.end());
  return needed;
}

bool passes_filter(const Check& check, const Options& options) {
  return !options.filter || std::string(check.name).find(*options.filter) != std::string::npos;
}

std::vector<const Check*> chosen_checks(const Options& options, const RunSetting& setting) {
  std::vector<const Check*> chosen;
  for (const Check& check : all_checks())
    if (passes_filter(check, options) && concerns_layout(check, setting)) chosen.push_back(&check);
  return chosen;
}

// The components the layout lacks: a line each.
void tally_components(const Options& options, const RunSetting& setting, Tally& tally) {
  for (const Form form : {Form::modules, Form::tools})
    for (const ComponentKind& kind : component_kinds) {
      if (setting.present(form, kind.role)) continue;
      const std::string file =
          form == Form::modules
              ? std::string(kind.module_folder) + "/" + kind.module_file + platform::module_suffix
              : std::string(tools_folder) + "/" + kind.tool;
      const bool required =
          std::any_of(options.required.begin(), options.required.end(),
                      [&](const Required& r) { return r.form == form && r.role == kind.role; });
      tally.add_component(component_name(form, kind.role),
                          required ? failed("the layout holds no " + file +
                                                ", which its project builds (--require)",
                                            "build it: a tree that holds only part of a "
                                            "project's components was not built to its end")
                                   : skipped("the layout holds no " + file +
                                             ": not checked, and a stand-in plays it in the runs"));
    }
}

}  // namespace

int check_layout(const Options& options) {
  if (options.list) {
    for (const Check& check : all_checks()) {
      if (!passes_filter(check, options)) continue;
      std::string name = check.name;
      name.resize(std::max<std::size_t>(name.size() + 2, 30), ' ');
      write_or_fail(Stream::out, name + check.description + "\n");
    }
    return 0;
  }
  const std::string dir = os::path::abspath(options.dir);
  if (!platform::is_folder(dir)) usage_error("DIR is not a folder: " + dir);
  if (options.filter && std::none_of(all_checks().begin(), all_checks().end(),
                                     [&](const Check& c) { return passes_filter(c, options); }))
    usage_error("argument --filter: no check name contains '" + *options.filter + "'");

  RunSetting setting = setting_of(dir, options.timeout);
  if (std::none_of(std::begin(setting.module_present), std::end(setting.module_present),
                   [](bool b) { return b; }) &&
      std::none_of(std::begin(setting.tool_present), std::end(setting.tool_present),
                   [](bool b) { return b; })) {
    write_or_fail(Stream::out, "FAIL layout: no component in " + dir +
                                   ". Fix: put the tools in tools/ (inp_converter.exe, editor.exe, "
                                   "monitor.exe) or the modules in inp_converter/main, editor/gui, "
                                   "monitor/gui (docs/components.md)\n");
    return 1;
  }
  const std::vector<const Check*> chosen = chosen_checks(options, setting);
  Tally tally;
  tally_components(options, setting, tally);
  WorkFolder work(options.deck, options.deck_text);
  std::optional<InProcessRuns> here;
  if (options.in_process) here.emplace(tally, chosen, options.only_failed);
  for (const std::size_t index : needed_runs(setting, chosen, options.filter.has_value())) {
    const Run& run = all_runs()[index];
    for (int repeat = 1; repeat <= options.repeat; ++repeat) {
      const std::string label =
          std::string(run.name) + (options.repeat > 1 ? " #" + std::to_string(repeat) : "");
      setting.deck = work.new_deck();
      if (here)
        here->run(run, label, setting);
      else
        run_in_child(index, label, setting, tally);
      tally.add_not_reached(label, run, chosen);
    }
  }
  if (work.plain_names())
    tally.add_component("deck", warned("this system's file system cannot name the deck's folder "
                                       "with letters outside every ANSI code page, so the runs "
                                       "used plain names",
                                       "under Wine, run it with a UTF-8 locale (LC_ALL=C.UTF-8)"));
  if (options.junit) {
    std::ofstream(component::fs_path(*options.junit), std::ios::binary)
        << tally.junit(chosen, options.strict);
  }
  write_or_fail(Stream::out, tally.text(chosen, options.only_failed));
  return tally.status(chosen, options.strict);
}

int run_child(const std::string& spec, const std::vector<std::string>& words) {
  // Nothing the run starts is to take itself for a run.
  os::setenv(run_variable, std::nullopt);
  std::size_t fields[3] = {};
  std::size_t at = 0;
  for (std::size_t& field : fields) {
    const auto tab = spec.find('\t', at);
    field = std::stoul(spec.substr(at, tab - at));
    at = tab + 1;
  }
  // Both outlive the run: the monitor's worker may report after it.
  auto* setting =
      new RunSetting{spec.substr(at), words.at(1), std::chrono::milliseconds(fields[1])};
  for (std::size_t i = 0; i < component_kinds.size(); ++i) {
    setting->module_present[i] = (fields[2] >> i & 1u) != 0;
    setting->tool_present[i] = (fields[2] >> (i + 3) & 1u) != 0;
  }
  const Run& run = all_runs()[fields[0]];
  auto* report = new LineReport;
  run_here(run, *setting, *report);
  return 0;
}

}  // namespace tolvane::check
