#include "checks.hpp"

#include <algorithm>
#include <iterator>

namespace tolvane::check {

namespace {

constexpr unsigned converter = role_bit(Role::converter), editor = role_bit(Role::editor),
                   monitor = role_bit(Role::monitor);

constexpr Check checks[] = {
    {"converter.module", "CONVERTER binds: exported, declared, of this interface version",
     Form::modules, converter},
    {"editor.module", "EDITOR binds: exported, declared, of this interface version", Form::modules,
     editor},
    {"monitor.module", "MONITOR binds: exported, declared, of this interface version",
     Form::modules, monitor},
    {"converter.create", "CONVERTER(deck, folder) makes its object, with every operation",
     Form::modules, converter},
    {"converter.main",
     "main() converts the deck (its path holds a space and letters outside every ANSI code "
     "page) and leaves dflag 0",
     Form::modules, converter},
    {"converter.heading", "heading is set, valid UTF-8 and one line", Form::modules, converter},
    {"converter.release", "release gives the object back", Form::modules, converter},
    {"editor.create", "EDITOR(deck, settings) makes its object, with every operation",
     Form::modules, editor},
    {"editor.editor", "editor(heading, solver folder) returns", Form::modules, editor},
    {"editor.root", "root is the window, and its destroy() succeeds", Form::modules, editor},
    {"editor.release", "release gives the object back", Form::modules, editor},
    {"model.folder", "the model folder exists once the editor has closed", Form::modules,
     converter | editor},
    {"monitor.create", "MONITOR(model, settings, NULL) makes its object in the model folder",
     Form::modules, monitor},
    {"monitor.attended", "monitor_main() returns, when the monitor chooses the attended mode",
     Form::modules, monitor},
    {"monitor.unattended",
     "with -nogui: nogui_mode(), then done is set while or after run_process runs on a worker, "
     "and nothing crashes while the launcher ends",
     Form::modules, monitor},
    {"monitor.signal_handler", "with -nogui: signal_handler(SIGINT) succeeds, Ctrl-C pressed twice",
     Form::modules, monitor},
    {"monitor.release", "release gives the object back once the monitor's work is over",
     Form::modules, monitor},
    {"converter-tool.run", "inp_converter.exe exits with 0 for the deck", Form::tools, converter},
    {"converter-tool.output", "its output decodes strictly and is not empty", Form::tools,
     converter},
    {"converter-tool.heading", "its last line is header:<heading>, short enough to pass on",
     Form::tools, converter},
    {"converter-tool.missing-deck", "it exits with a code other than 0 for a missing deck",
     Form::tools, converter},
    {"editor-tool.run", "editor.exe takes its seven arguments and exits with 0", Form::tools,
     editor},
    {"model-tool.folder", "the model folder exists once editor.exe has ended", Form::tools,
     converter | editor},
    {"monitor-tool.run", "monitor.exe takes its four arguments and exits with 0", Form::tools,
     monitor},
};

constexpr Run runs[] = {
    {"modules", Form::modules, false, false, false},
    {"modules -nogui", Form::modules, true, false, false},
    {"modules -nogui, Ctrl-C twice", Form::modules, true, true, false},
    {"tools", Form::tools, false, false, false},
    {"tools, missing deck", Form::tools, false, false, true},
};

// The WHEREs of the calls and steps of each check, as the chain names them.
struct Call {
  Form form;
  std::string_view where;
  std::string_view check;
};
constexpr Call calls[] = {
    {Form::modules, "CONVERTER", "converter.create"},
    {Form::modules, "CONVERTER.main", "converter.main"},
    {Form::modules, "CONVERTER.release", "converter.release"},
    {Form::modules, "EDITOR", "editor.create"},
    {Form::modules, "EDITOR.editor", "editor.editor"},
    {Form::modules, "EDITOR.root", "editor.root"},
    {Form::modules, "EDITOR.root.destroy", "editor.root"},
    {Form::modules, "EDITOR.release", "editor.release"},
    {Form::modules, "chdir", "model.folder"},
    {Form::modules, "MONITOR", "monitor.create"},
    {Form::modules, "MONITOR.monitor_main", "monitor.attended"},
    {Form::modules, "MONITOR.nogui_mode", "monitor.unattended"},
    {Form::modules, "MONITOR.run_process", "monitor.unattended"},
    {Form::modules, "MONITOR.signal_handler", "monitor.signal_handler"},
    {Form::modules, "MONITOR.release", "monitor.release"},
    {Form::tools, "inp_converter.exe", "converter-tool.run"},
    {Form::tools, "editor.exe", "editor-tool.run"},
    {Form::tools, "monitor.exe", "monitor-tool.run"},
};

}  // namespace

std::span<const Check> all_checks() { return checks; }

const Check* find_check(std::string_view name) {
  for (const Check& check : checks)
    if (name == check.name) return &check;
  return nullptr;
}

const Check* check_of_call(Form form, std::string_view where) {
  for (const ComponentKind& kind : component_kinds)
    if (form == Form::modules && where == kind.import_where)
      return find_check(std::string(kind.name) + ".module");
  for (const Call& call : calls)
    if (call.form == form && call.where == where) return find_check(call.check);
  return nullptr;
}

bool concerns_layout(const Check& check, const RunSetting& setting) {
  for (const ComponentKind& kind : component_kinds)
    if ((check.roles & role_bit(kind.role)) != 0 && setting.present(check.form, kind.role))
      return true;
  return false;
}

std::span<const Run> all_runs() { return runs; }

bool meets(const Run& run, const Check& check) {
  if (run.form != check.form) return false;
  const std::string_view name = check.name;
  if (run.missing_deck != (name == "converter-tool.missing-deck")) return false;
  if (name == "monitor.signal_handler") return run.interrupts;
  return true;
}

std::string see(const char* section) {
  return std::string(" (docs/components.md, \"") + section + "\")";
}

}  // namespace tolvane::check
