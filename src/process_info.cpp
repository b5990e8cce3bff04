#include "process_info.hpp"

#include "crash_report.hpp"
#include "diagnostics.hpp"
#include "failure.hpp"
#include "os.hpp"
#include "paths.hpp"
#include "platform/interrupts.hpp"
#include "platform/modules.hpp"
#include "platform/process.hpp"

namespace tolvane {

namespace {
std::string& stored_invocation_path() {
  static std::string path;
  return path;
}
}  // namespace

void start_up(std::vector<std::string>& words) {
  if (words.empty()) words.emplace_back();
  set_invocation_path(words[0]);
  report_crashes();
  words[0] = value_or_failure("start-up", platform::executable_path());
  set_invocation_path(words[0]);
  platform::restrict_library_search();
  platform::prepare_process();
  if (auto refused = platform::start_recording_interrupts())
    throw system_failure("start-up", *refused);
}

void set_invocation_path(std::string path) {
  stored_invocation_path() = std::move(path);
  set_program_name(paths::basename(platform::path_flavour, stored_invocation_path()));
}

const std::string& invocation_path() { return stored_invocation_path(); }

std::string invocation_folder() {
  return os::path::dirname(os::path::abspath(stored_invocation_path()));
}

const std::string& program_folder() {
  static const std::string folder = os::path::dirname(os::path::realpath(stored_invocation_path()));
  return folder;
}

}  // namespace tolvane
