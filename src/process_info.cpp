#include "process_info.hpp"

#include <optional>

#include "os.hpp"
#include "paths.hpp"
#include "platform/process.hpp"

namespace tolvane {

namespace {
struct Invocation {
  std::string path;
  std::optional<std::string> directory;  // worked out when first asked for
};
Invocation& invocation() {
  static Invocation stored;
  return stored;
}
}  // namespace

void set_invocation_path(std::string path) { invocation() = Invocation{std::move(path), {}}; }

const std::string& invocation_path() { return invocation().path; }

std::string program_name() { return paths::basename(platform::path_flavour, invocation().path); }

const std::string& invocation_directory() {
  if (!invocation().directory)
    invocation().directory = os::path::dirname(os::path::abspath(invocation().path));
  return *invocation().directory;
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
