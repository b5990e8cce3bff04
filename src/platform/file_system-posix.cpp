// The current directory and the path queries natively.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "file_system.hpp"
#include "support-posix.hpp"

namespace tolvane::platform {

const paths::Flavour path_flavour = paths::Flavour::posix;

std::string current_directory() {
  std::string buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) throw posix::failure("getcwd", "getcwd", errno);
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

void change_directory(const std::string& path) {
  if (::chdir(path.c_str()) != 0) throw posix::failure("chdir", "chdir('" + path + "')", errno);
}

std::string absolute_path(const std::string& path) {
  return paths::absolute_posix(path, current_directory());
}

std::string final_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) throw posix::failure("realpath", "realpath('" + path + "')", errno);
  std::string result(resolved);
  std::free(resolved);
  return result;
}

std::string short_path(const std::string& path) { return path; }

bool is_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool is_directory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tolvane::platform
