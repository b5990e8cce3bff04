#include "process_info.hpp"

#include "paths.hpp"
#include "platform/file_system.hpp"
#include "platform/process.hpp"

namespace tolvane {

namespace {
std::string& stored_invocation_path() {
  static std::string path;
  return path;
}
}  // namespace

void set_invocation_path(std::string path) { stored_invocation_path() = std::move(path); }

const std::string& invocation_path() { return stored_invocation_path(); }

std::string program_name() {
  return paths::basename(platform::path_flavour, stored_invocation_path());
}

const std::string& program_directory() {
  static const std::string directory = paths::dirname(
      platform::path_flavour, platform::final_path(platform::executable_path()));
  return directory;
}

}  // namespace tolvane
