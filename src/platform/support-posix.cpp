#include "support-posix.hpp"

#include <cerrno>
#include <cstring>

namespace tolvane::platform::posix {

namespace {
const char* kind_of(int error) {
  switch (error) {
    case ENOENT: return kind::not_found;
    case ENOTDIR: return kind::not_a_directory;
    case EACCES:
    case EPERM: return kind::permission;
    case EPIPE: return kind::broken_pipe;
    default: return kind::system;
  }
}
}  // namespace

Failure failure(const std::string& where, const std::string& api, int error) {
  return system_failure(where, kind_of(error), api, static_cast<unsigned long>(error),
                        std::strerror(error));
}

}  // namespace tolvane::platform::posix
