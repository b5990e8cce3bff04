#include "verdicts.hpp"

#include <tolvane/component.h>

#include "../heading.hpp"
#include "../utf.hpp"
#include "checks.hpp"

namespace tolvane::check {

namespace {

Verdict binding_verdict(const Failure& failure) {
  const std::string& text = failure.message();
  const std::string binding = see("Binding");
  if (text.find("another major version") != std::string::npos)
    return failed(text, "rebuild it against a Tolvane SDK of interface " +
                            std::to_string(TOLVANE_INTERFACE_MAJOR) +
                            ".x, such as this one: this launcher takes no other" + binding);
  if (text.find("newer minor version") != std::string::npos)
    return failed(text, "rebuild it against this SDK (interface " +
                            std::to_string(TOLVANE_INTERFACE_MAJOR) + "." +
                            std::to_string(TOLVANE_INTERFACE_MINOR) +
                            "), or use it with a newer launcher" + binding);
  if (text.find("depends on is missing") != std::string::npos)
    return failed(text,
                  "put that library beside the module, or link it in statically (as "
                  "tolvane_add_component_module does for the runtime)" +
                      binding);
  return failed(text, "export and declare the entry as the message says" + binding);
}

std::string model_fix() {
  return "the converter or the editor must create it: the launcher creates none, and makes it "
         "the current folder before it creates the monitor" +
         see("Rules for every component");
}

}  // namespace

Verdict verdict_of_module_failure(const Failure& failure, const CallOutcome& outcome) {
  const std::string& where = failure.where();
  if (failure.kind() == kind::binding) return binding_verdict(failure);
  if (where == "chdir")
    return failed(
        "the model folder does not exist once the editor has closed (" + said(failure) + ")",
        model_fix());
  if (where == "EDITOR.root")
    return failed("root is NULL, or has no destroy, after EDITOR.editor returned",
                  "set root to the editor's top-level window before editor() returns (in C++: "
                  "root = std::make_unique<...>())" +
                      see("Editor: entry EDITOR"));
  if (failure.kind() == kind::missing_attribute)
    return failed(failure.message(), "set every operation of its ops" + see("How calls go"));
  const bool entry = where == "CONVERTER" || where == "EDITOR" || where == "MONITOR";
  Verdict verdict = verdict_of_call(failure, outcome, entry);
  // The calls that are given the deck's path.
  const bool deck = where == "CONVERTER" || where == "CONVERTER.main" || where == "EDITOR" ||
                    where == "EDITOR.editor";
  if (deck && verdict.fix.starts_with("it must succeed"))
    verdict.fix += "; " + deck_path_fix(Form::modules);
  return verdict;
}

Verdict verdict_of_call(const Failure& failure, const CallOutcome& outcome, bool entry) {
  const std::string& where = failure.where();
  const std::string calls = see("How calls go");
  if (outcome.threw)
    return failed(where + " let a C++ exception out across the C interface (" + said(failure) + ")",
                  "catch it and report it: return tolvane_fail(error, kind, message); the "
                  "classes of component.hpp do that" +
                      calls);
  if (outcome.succeeded && outcome.reported)
    return failed(where + " reported a failure (" + said(failure) + ") and " +
                      (entry ? "returned an object" : "returned TOLVANE_OK"),
                  std::string(entry ? "return NULL when it fails"
                                    : "a reported failure is a failure: return "
                                      "tolvane_fail(error, kind, message);") +
                      calls);
  const std::string what = where + (entry ? " returned NULL" : " failed");
  if (!outcome.reported)
    return failed(what + " without saying why (" + said(failure) + ")",
                  "say why: return tolvane_fail(error, kind, message);" + calls);
  return failed(what + " (" + said(failure) + ")",
                "it must succeed for a valid deck; check yours with --deck FILE");
}

std::string deck_path_fix(Form form) {
  if (form == Form::modules)
    return "the deck's path holds a space and letters outside every ANSI code page: open it "
           "with tolvane_fopen (C) or name it with tolvane::component::fs_path (C++), never plain "
           "fopen" +
           see("Rules for every component");
  return "the deck's path holds a space and letters outside every ANSI code page: on Windows "
         "take the arguments with wmain (the WMAIN option of tolvane_add_component_tool), as a "
         "plain main gets them in the ANSI code page with '?' for the rest" +
         see("Rules for every component");
}

Verdict heading_verdict(const std::optional<std::string>& heading) {
  const std::string where = see("Converter: entry CONVERTER");
  if (!heading)
    return warned("heading is NULL after CONVERTER.main: the editor gets a null heading",
                  "set heading in main() (in C++: heading = \"...\")" + where);
  std::string ignored;
  utf::Utf8Validator validator;
  if (!validator.feed(*heading, ignored) || !validator.finish())
    return failed("the heading is not valid UTF-8",
                  "text through the interface is UTF-8" + see("Rules for every component"));
  for (std::size_t i = 0; i < heading->size(); ++i)
    if (line_end_at(*heading, i) != 0)
      return failed("the heading holds a line end at byte " + std::to_string(i),
                    "a heading is one line: no line end could reach the editor of the tool "
                    "form either" +
                        where);
  return passed("\"" + *heading + "\"");
}

std::string said(const Failure& failure) { return failure.kind() + ": " + failure.message(); }

std::string hung_fix() {
  return "return when the work is over; a longer one needs --timeout" + see("How calls go");
}

std::string ended_process_fix() {
  return "return from the call: a component ends the launcher's process only on purpose, and "
         "the launcher then ends with that status" +
         see("How calls go");
}

std::string paired_editor_fix() {
  return "the editor you pair this converter with must make it, or the converter must" +
         see("Rules for every component");
}

std::string done_fix() {
  return "set done when the unattended run is over, from run_process, signal_handler or any "
         "thread, and not before run_process has started: tolvane_flag_store(&self->done, 1); "
         "(in C++: done = true;)" +
         see("Monitor: entry MONITOR") + "; a longer run needs --timeout";
}

}  // namespace tolvane::check
