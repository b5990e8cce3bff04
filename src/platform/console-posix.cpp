// The standard streams and the environment natively.

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "console.hpp"
#include "support-posix.hpp"

namespace tolvane::platform {

namespace {

// How long a write waits for a stream that its reader is slow to drain:
// a stream that the launcher was handed non-blocking and full.
constexpr int stream_wait_ms = 2000;

// 0, or the errno of the write that failed. Safe in a signal handler.
int write_all(Stream stream, std::string_view text) {
  const int fd = stream == Stream::out ? 1 : 2;
  int waited_ms = 0;
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waited_ms < stream_wait_ms) {
      pollfd writable{fd, POLLOUT, 0};
      ::poll(&writable, 1, 100);
      waited_ms += 100;
      continue;
    }
    if (n < 0) return errno;
    if (n == 0) return EIO;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace

std::optional<SystemError> write_text(Stream stream, std::string_view text) {
  if (const int code = write_all(stream, text)) return posix::error("write", code);
  return std::nullopt;
}

void write_text_if_possible(Stream stream, std::string_view text) noexcept {
  write_all(stream, text);
}

std::optional<int> console_width() {
  winsize size{};
  if (::ioctl(1, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return std::nullopt;
}

std::optional<std::string> environment(const char* name) {
  if (const char* value = std::getenv(name)) return std::string(value);
  return std::nullopt;
}

std::optional<SystemError> set_environment(const char* name,
                                           const std::optional<std::string>& value) {
  const int failed = value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  if (failed != 0) return posix::error(value ? "setenv" : "unsetenv", errno);
  return std::nullopt;
}

}  // namespace tolvane::platform
