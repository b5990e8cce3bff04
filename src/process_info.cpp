#include "process_info.hpp"

#include "crash_report.hpp"
#include "failure.hpp"
#include "os.hpp"
#include "paths.hpp"
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
  words[0] = platform::executable_path();
  set_invocation_path(words[0]);
  platform::prepare_process();
}

void set_invocation_path(std::string path) {
  stored_invocation_path() = std::move(path);
  keep_program_name_for_reports(program_name());
}

const std::string& invocation_path() { return stored_invocation_path(); }

std::string program_name() {
  return paths::basename(platform::path_flavour, stored_invocation_path());
}

std::string invocation_directory() {
  return os::path::dirname(os::path::abspath(stored_invocation_path()));
}

const std::string& program_directory() {
  static const std::string directory =
      os::path::dirname(os::path::realpath(platform::executable_path()));
  return directory;
}

const std::string& short_program_directory() {
  static const std::string directory = platform::short_path(program_directory());
  return directory;
}

}  // namespace tolvane
