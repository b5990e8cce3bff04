// tolvane-check's entry: its command line, a work folder with a deck for
// each check, each module check in a child process of its own with a time
// limit, and one line per check.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <tolvane/component.h>

#include "../Tolvane.hpp"
#include "../failure.hpp"
#include "../heading.hpp"
#include "../os.hpp"
#include "../platform/child.hpp"
#include "../platform/console.hpp"
#include "../platform/file_system.hpp"
#include "../platform/process.hpp"
#include "../process_info.hpp"
#include "check.hpp"

namespace tolvane {

namespace {

using namespace check;
using platform::Stream;

struct Options {
  std::string dir;
  std::optional<std::string> deck;
  std::chrono::milliseconds timeout{10000};
  bool only_failed = false;
  bool list = false;
  bool in_process = false;
  std::optional<std::string> filter;
  // In a check's own child process: the check to run.
  std::optional<std::string> run_check;
};

std::string usage() {
  return "usage: " + program_name() +
         " [-h] [--version] [--list] [--filter NAME] [--only-failed] [--in-process]"
         " [--timeout SECONDS] [--deck FILE] DIR\n";
}

std::string help() {
  return usage() + R"(
Checks Tolvane components against the launcher's contract: the tool
executables in DIR/tools and the modules DIR/inp_converter/main,
DIR/editor/gui and DIR/monitor/gui, as far as DIR holds them. Each module
check runs in a process of its own, so that a crash, a hang or an exit()
is its result; each tool runs with a time limit.

positional arguments:
  DIR                a folder laid out as the launcher expects

options:
  -h, --help         show this help message and exit
  --version          show the version and exit
  --list             list the checks and exit
  --filter NAME      run only the checks whose names contain NAME
  --only-failed      print only the checks that failed
  --in-process       run every check in this process, for a debugger
  --timeout SECONDS  the time limit of each call and each tool (default 10)
  --deck FILE        the deck to run the chain on (default: a small one)
  -nogui             shown to a monitor that reads the command line (the
                     unattended checks add it themselves)

Exit status: 0 when no check failed (warnings allowed), 1 when one did,
2 for a usage error. See docs/components.md.
)";
}

[[noreturn]] void usage_error(const std::string& message) {
  platform::write_text_if_possible(Stream::err,
                                   usage() + program_name() + ": error: " + message + "\n");
  throw ExitRequest{2};
}

std::chrono::milliseconds timeout_of(const std::string& text) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0.1) ||
      seconds > 86400)
    usage_error("argument --timeout: not a number of seconds from 0.1 to 86400: '" + text + "'");
  return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
}

Options parse(const std::vector<std::string>& words) {
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
      platform::write_text(Stream::out, help());
      throw ExitRequest{0};
    }
    if (word == "--version") {
      platform::write_text(Stream::out, program_name() +
                                            " " TOLVANE_VERSION " (component interface " +
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
    else if (word == "--filter")
      options.filter = value();
    else if (word == "--timeout")
      options.timeout = timeout_of(value());
    else if (word == "--deck")
      options.deck = value();
    else if (word == "--run-check")
      options.run_check = value();
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

std::string utf8_of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<const Check*> every_check() {
  std::vector<const Check*> all;
  for (const Check& check : module_checks()) all.push_back(&check);
  for (const Check& check : tool_checks()) all.push_back(&check);
  return all;
}

const char* level_text(Level level) {
  return level == Level::pass ? "PASS" : level == Level::warn ? "WARN" : "FAIL";
}

// One line, whatever a component put in what the check saw.
std::string one_line(std::string text) {
  text.resize(blank_line_ends(text.data(), text.size()));
  for (char& c : text)
    if (c == '\t') c = ' ';
  return text;
}

std::string line_of(const Check& check, const Verdict& verdict) {
  std::string line = std::string(level_text(verdict.level)) + " " + check.name;
  if (verdict.level == Level::pass) {
    if (!verdict.seen.empty()) line += " (" + verdict.seen + ")";
  } else {
    line += ": " + verdict.seen;
    if (!verdict.fix.empty()) line += ". Fix: " + verdict.fix;
  }
  return one_line(line) + "\n";
}

Verdict run_here(const Check& check, const Setting& setting) {
  const std::string start = os::getcwd();
  Verdict verdict;
  try {
    verdict = check.run(setting);
  } catch (const Stop& stop) {
    verdict = stop.verdict;
  } catch (const Failure& failure) {
    if (failure.kind() == kind::interrupted) throw;
    verdict = failed(failure.where() + ": " + failure.kind() + ": " + failure.message(), "");
  }
  os::chdir(start);
  return verdict;
}

// What a check's child process says, line by line: the call it is in,
// its result, and the diagnostic it ended with, if any. The components'
// own output in between is passed over, however much of it comes.
class ChildLines {
 public:
  // true when a line showed progress: a call begun or the result.
  bool feed(std::string_view text) {
    bool progress = false;
    for (char c : text) {
      if (c != '\n') {
        if (partial_.size() < std::size_t{64} * 1024) partial_ += c;
        continue;
      }
      progress = take(partial_) || progress;
      partial_.clear();
    }
    return progress;
  }
  void finish() { take(partial_); }

  std::optional<std::string> call;
  std::optional<Verdict> result;
  std::optional<std::string> diagnostic;

 private:
  bool take(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string own = program_name() + ": ";
    if (line.starts_with(call_marker)) {
      call = line.substr(std::string_view(call_marker).size());
      return true;
    }
    if (line.starts_with(result_marker)) {
      const std::string fields = line.substr(std::string_view(result_marker).size());
      const auto tab = fields.find('\t'), second = fields.find('\t', tab + 1);
      if (tab == std::string::npos || second == std::string::npos) return false;
      const std::string level = fields.substr(0, tab);
      result = Verdict{level == "PASS"   ? Level::pass
                       : level == "WARN" ? Level::warn
                                         : Level::fail,
                       fields.substr(tab + 1, second - tab - 1), fields.substr(second + 1)};
      return true;
    }
    if (line.starts_with(own)) diagnostic = line.substr(own.size());
    return false;
  }

  std::string partial_;
};

Verdict verdict_of_ended(const Check& check, const ChildLines& lines, std::uint32_t status) {
  const std::string call = lines.call.value_or("the check");
  if (lines.diagnostic) {
    // "WHERE: crash: access violation (0xC0000005)"
    const std::string& text = *lines.diagnostic;
    const auto crash = text.find(": crash: ");
    if (crash != std::string::npos)
      return failed(text.substr(0, crash) + " crashed: " + text.substr(crash + 9),
                    "a crash ends the launcher's run with status 1; to find it, run "
                    "tolvane-check --in-process --filter " +
                        std::string(check.name) + " DIR under a debugger");
    return failed(text, "");
  }
  return failed(call + " ended the process with status " + std::to_string(status),
                "return from the call: a component ends the launcher's process only on "
                "purpose, and the launcher then ends with that status (docs/components.md, "
                "\"How calls go\")");
}

// Runs the check in a child process of its own; the child is ended when
// a call takes longer than the time limit.
Verdict run_in_child(const Check& check, const Setting& setting) {
  const std::string self = platform::executable_path();
  std::vector<std::string> argv = {
      self,
      "--run-check",
      check.name,
      "--timeout",
      std::to_string(static_cast<double>(setting.timeout.count()) / 1000),
      "--deck",
      setting.deck,
      setting.dir};
  if (check.nogui) argv.push_back("-nogui");
  platform::Child child(check.name);
  if (auto not_started =
          child.start(self, argv, platform::Child::Sink::pipe, platform::Child::Sink::pipe))
    throw *not_started;
  // The child's own waits (for done) end within the time limit; this one
  // ends a call that does not return.
  const auto slack = std::chrono::seconds(2);
  auto deadline = platform::Clock::now() + setting.timeout + slack;
  ChildLines lines;
  std::string chunk;
  for (;;) {
    const auto event = child.read(chunk, deadline);
    if (event == platform::Child::Event::end) break;
    if (event == platform::Child::Event::data) {
      if (lines.feed(chunk)) deadline = platform::Clock::now() + setting.timeout + slack;
      continue;
    }
    child.terminate();
    child.wait(std::nullopt, false);
    if (event == platform::Child::Event::interrupted)
      throw Failure(check.name, kind::interrupted, "interrupted");
    return failed(lines.call.value_or("the check") + " did not return within " +
                      seconds_text(setting.timeout),
                  "return when the work is over; a longer one needs --timeout (docs/components.md, "
                  "\"How calls go\")");
  }
  lines.finish();
  if (child.wait(deadline, false) == platform::Child::Wait::timed_out) {
    child.terminate();
    child.wait(std::nullopt, false);
  }
  if (lines.result) return *lines.result;
  return verdict_of_ended(check, lines, child.exit_code());
}

constexpr const char* sample_deck =
    "!HEADER\n"
    "Tolvane check: a cantilever of one element\n"
    "!NODE\n"
    "1, 0.0, 0.0, 0.0\n2, 100.0, 0.0, 0.0\n3, 100.0, 10.0, 0.0\n4, 0.0, 10.0, 0.0\n"
    "5, 0.0, 0.0, 10.0\n6, 100.0, 0.0, 10.0\n7, 100.0, 10.0, 10.0\n8, 0.0, 10.0, 10.0\n"
    "!ELEMENT, TYPE=361, EGRP=ALL\n"
    "1, 1, 2, 3, 4, 5, 6, 7, 8\n"
    "!END\n";

// A folder of its own for the run, with a folder and a copy of the deck
// for each check, as each may leave a model folder behind.
class WorkFolder {
 public:
  explicit WorkFolder(const std::optional<std::string>& deck) {
    if (deck) {
      std::ifstream in(fs_path(*deck), std::ios::binary);
      if (!in) usage_error("argument --deck: cannot read " + *deck);
      deck_text_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      deck_name_ = utf8_of(fs_path(*deck).filename());
      if (!deck_name_.ends_with(".inp")) deck_name_ += ".inp";
    }
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("tolvane-check-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(root_);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  ~WorkFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  // The deck's copy in a new folder named after the check.
  std::string deck_for(const std::string& name) {
    const std::filesystem::path folder = root_ / (std::to_string(++count_) + "-" + name);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / fs_path(deck_name_), std::ios::binary) << deck_text_;
    return utf8_of(folder / fs_path(deck_name_));
  }

 private:
  std::filesystem::path root_;
  std::string deck_text_ = sample_deck;
  std::string deck_name_ = "beam.inp";
  int count_ = 0;
};

int run_one(const Options& options) {
  for (const Check* check : every_check()) {
    if (check->name != *options.run_check) continue;
    announce_calls(true);
    const Verdict verdict =
        run_here(*check, {os::path::abspath(options.dir), *options.deck, options.timeout});
    platform::write_text(Stream::out,
                         std::string("\n") + result_marker + level_text(verdict.level) + "\t" +
                             one_line(verdict.seen) + "\t" + one_line(verdict.fix) + "\n");
    return 0;
  }
  usage_error("argument --run-check: no check named " + *options.run_check);
}

int run_all(const Options& options) {
  const auto all = every_check();
  const auto chosen = [&](const Check& check) {
    return !options.filter || std::string(check.name).find(*options.filter) != std::string::npos;
  };
  if (options.list) {
    for (const Check* check : all)
      if (chosen(*check)) {
        std::string name = check->name;
        name.resize(std::max<std::size_t>(name.size() + 2, 30), ' ');
        platform::write_text(Stream::out, name + check->description + "\n");
      }
    return 0;
  }
  const std::string dir = os::path::abspath(options.dir);
  if (!platform::is_directory(dir)) usage_error("DIR is not a folder: " + dir);
  if (std::none_of(all.begin(), all.end(), [&](const Check* check) { return chosen(*check); }))
    usage_error("argument --filter: no check name contains '" + *options.filter + "'");

  unsigned present = 0;
  for (const Part part : {Part::converter_module, Part::editor_module, Part::monitor_module,
                          Part::converter_tool, Part::editor_tool, Part::monitor_tool})
    if (has_part(dir, part)) present |= static_cast<unsigned>(part);
  if (present == 0) {
    platform::write_text(Stream::out,
                         "FAIL layout: no component in " + dir +
                             ". Fix: put the tools in tools/ (inp_converter.exe, editor.exe, "
                             "monitor.exe) or the modules in inp_converter/main, editor/gui, "
                             "monitor/gui (docs/components.md)\n");
    return 1;
  }

  WorkFolder work(options.deck);
  const std::string tools_deck = work.deck_for("tools");
  int counts[3] = {0, 0, 0};
  for (const Check* check : all) {
    if (!chosen(*check) || (check->needs & present) != check->needs) continue;
    const Setting setting{dir, check->in_child ? work.deck_for(check->name) : tools_deck,
                          options.timeout};
    const Verdict verdict = check->in_child && !options.in_process ? run_in_child(*check, setting)
                                                                   : run_here(*check, setting);
    ++counts[static_cast<int>(verdict.level)];
    if (!options.only_failed || verdict.level == Level::fail)
      platform::write_text(Stream::out, line_of(*check, verdict));
  }
  platform::write_text(Stream::out, program_name() + ": " +
                                        std::to_string(counts[0] + counts[1] + counts[2]) +
                                        " checks: " + std::to_string(counts[0]) + " passed, " +
                                        std::to_string(counts[1]) + " warned, " +
                                        std::to_string(counts[2]) + " failed\n");
  return counts[2] > 0 ? 1 : 0;
}

}  // namespace

int entry(std::vector<std::string> words) {
  return exit_status_of([&] {
    start_up(words);
    const Options options = parse(words);
    throw ExitRequest{options.run_check ? run_one(options) : run_all(options)};
  });
}

}  // namespace tolvane
