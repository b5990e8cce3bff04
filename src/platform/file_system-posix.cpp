// The current folder and the path queries natively.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "file_system.hpp"
#include "support-posix.hpp"

namespace tolvane::platform {

const paths::Flavour path_flavour = paths::Flavour::posix;

SystemResult<std::string> current_folder() {
  std::string buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return posix::error("getcwd", errno);
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

std::optional<SystemError> change_folder(const std::string& path) {
  if (::chdir(path.c_str()) != 0) return posix::error("chdir('" + path + "')", errno);
  return std::nullopt;
}

SystemResult<std::string> absolute_path(const std::string& path) {
  auto current = current_folder();
  if (!current) return current;
  return paths::absolute_posix(path, *current);
}

SystemResult<std::string> final_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return posix::error("realpath('" + path + "')", errno);
  std::string result(resolved);
  std::free(resolved);
  return result;
}

std::string short_path(const std::string& path) { return path; }

bool is_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool is_folder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tolvane::platform
