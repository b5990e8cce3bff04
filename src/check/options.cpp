#include "options.hpp"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>

#include <tolvane/component.hpp>

#include "../diagnostics.hpp"
#include "../failure.hpp"
#include "../platform/console.hpp"
#include "../platform/file_system.hpp"
#include "../process_info.hpp"

namespace tolvane::check {

namespace {

using platform::Stream;

std::string usage() {
  return "usage: " + program_name() +
         " [-h] [--version] [--list] [--filter NAME] [--only-failed] [--strict]"
         " [--repeat N] [--junit FILE] [--in-process] [--timeout SECONDS] [--deck FILE]"
         " [--require COMPONENT] DIR\n";
}

std::string help() {
  return usage() + R"(
Checks Tolvane components against the launcher's contract: the tool
executables in DIR/tools and the modules DIR/inp_converter/main,
DIR/editor/gui and DIR/monitor/gui, as far as DIR holds them. It runs the
launcher's own pipelines on them, as a user would run the launcher: the
modules attended, with -nogui, and with -nogui and Ctrl-C pressed twice;
the tools in a chain, and the converter once more on a missing deck. Each
run is a process of its own, so that a crash, a hang or an exit() is its
result; stand-ins play the components that DIR lacks.

positional arguments:
  DIR                  a folder laid out as the launcher expects

options:
  -h, --help           show this help message and exit
  --version            show the version and exit
  --list               list the checks and exit
  --filter NAME        make only the checks whose names contain NAME, in the
                       first run that meets each
  --only-failed        print only the checks that failed
  --strict             a warning fails too (status 1)
  --repeat N           make every run N times, 1 to 1000 (default 1); a
                       check fails if any of its runs fails
  --junit FILE         also write the results to FILE as JUnit XML, one
                       testcase per check and run
  --in-process         make every run in this process, for a debugger; the
                       time limits still hold
  --timeout SECONDS    the time limit of each call and each tool, 0.1 to
                       86400 (default 10)
  --deck FILE          the deck to run the chains on (default: a small one);
                       its copy lies in a folder whose name holds a space and
                       letters outside every ANSI code page
  --require COMPONENT  fail unless DIR holds COMPONENT: converter-module,
                       editor-module, monitor-module, converter-tool,
                       editor-tool or monitor-tool (repeatable)
  -nogui               accepted and ignored: the runs give it themselves

Exit status: 0 when no check failed (warnings allowed, unless --strict),
1 when one did, 2 for a usage error. See docs/components.md.
)";
}

std::chrono::milliseconds timeout_of(const std::string& text) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0.1) ||
      seconds > 86400)
    usage_error("argument --timeout: not a number of seconds from 0.1 to 86400: '" + text + "'");
  return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
}

int repeat_of(const std::string& text) {
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || end != text.data() + text.size() || count < 1 || count > 1000)
    usage_error("argument --repeat: not a whole number from 1 to 1000: '" + text + "'");
  return count;
}

Required required_of(const std::string& text) {
  for (const Form form : {Form::modules, Form::tools})
    for (const ComponentKind& kind : component_kinds)
      if (text == component_name(form, kind.role)) return {form, kind.role};
  usage_error("argument --require: not a component: '" + text +
              "' (converter-module, editor-module, monitor-module, converter-tool, "
              "editor-tool, monitor-tool)");
}

// The deck the runs copy: a file that is there and can be read.
std::string deck_text_of(const std::string& path) {
  if (platform::is_folder(path)) usage_error("argument --deck: a folder, not a deck: " + path);
  std::ifstream in(component::fs_path(path), std::ios::binary);
  std::string text;
  if (platform::is_file(path) && in)
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!platform::is_file(path) || !in || in.bad())
    usage_error("argument --deck: cannot read " + path);
  return text;
}

}  // namespace

void usage_error(const std::string& message) {
  platform::write_text_if_possible(Stream::err,
                                   usage() + program_name() + ": error: " + message + "\n");
  throw ExitRequest{2};
}

std::string component_name(Form form, Role role) {
  return std::string(kind_of(role).name) + (form == Form::modules ? "-module" : "-tool");
}

Options parse_options(const std::vector<std::string>& words) {
  Options options;
  std::vector<std::string> positional;
  bool only_values = false;
  for (std::size_t i = 1; i < words.size(); ++i) {
    std::string word = words[i];
    if (only_values || word == "-" || !word.starts_with("-")) {
      positional.push_back(word);
      continue;
    }
    std::optional<std::string> attached;
    if (const auto equals = word.find('='); word.starts_with("--") && equals != std::string::npos) {
      attached = word.substr(equals + 1);
      word.resize(equals);
    }
    const auto value = [&]() -> std::string {
      if (attached) return *std::exchange(attached, std::nullopt);
      if (i + 1 >= words.size()) usage_error("argument " + word + ": expected one argument");
      return words[++i];
    };
    if (word == "-h" || word == "--help") {
      write_or_fail(Stream::out, help());
      throw ExitRequest{0};
    }
    if (word == "--version") {
      write_or_fail(Stream::out, program_name() + " " TOLVANE_VERSION " (component interface " +
                                     std::to_string(TOLVANE_INTERFACE_MAJOR) + "." +
                                     std::to_string(TOLVANE_INTERFACE_MINOR) + ")\n");
      throw ExitRequest{0};
    }
    if (word == "--list")
      options.list = true;
    else if (word == "--only-failed")
      options.only_failed = true;
    else if (word == "--in-process")
      options.in_process = true;
    else if (word == "--strict")
      options.strict = true;
    else if (word == "--filter")
      options.filter = value();
    else if (word == "--timeout")
      options.timeout = timeout_of(value());
    else if (word == "--repeat")
      options.repeat = repeat_of(value());
    else if (word == "--junit")
      options.junit = value();
    else if (word == "--deck") {
      options.deck = value();
      options.deck_text = deck_text_of(*options.deck);
    } else if (word == "--require")
      options.required.push_back(required_of(value()));
    else if (word == "--")
      only_values = true;
    else if (word != "-nogui")
      usage_error("unrecognized arguments: " + words[i]);
    if (attached)
      usage_error("argument " + word + ": ignored explicit argument '" + *attached + "'");
  }
  if (options.list) return options;
  if (positional.empty()) usage_error("the following arguments are required: DIR");
  if (positional.size() > 1) usage_error("unrecognized arguments: " + positional[1]);
  options.dir = positional[0];
  return options;
}

}  // namespace tolvane::check
