#include "support-posix.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

namespace tolvane::platform::posix {

namespace {
SystemError::Reason reason_of(int code) {
  switch (code) {
    case ENOENT: return SystemError::Reason::not_found;
    case ENOTDIR: return SystemError::Reason::not_a_folder;
    case EACCES:
    case EPERM: return SystemError::Reason::permission;
    case EPIPE: return SystemError::Reason::broken_pipe;
    default: return SystemError::Reason::other;
  }
}
}  // namespace

SystemError error(std::string api, int code) {
  return SystemError{
      std::move(api), static_cast<unsigned long>(code), std::strerror(code), {}, reason_of(code)};
}

}  // namespace tolvane::platform::posix
