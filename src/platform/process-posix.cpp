// The launcher's own process natively: start-up and end.

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>

#include "process.hpp"
#include "support-posix.hpp"

namespace tolvane::platform {

namespace {

void bind_to_null_if_closed(int fd) {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return;
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd >= 0 && null_fd != fd) {
    ::dup2(null_fd, fd);
    ::close(null_fd);
  }
}

// Nothing the launcher was handed beyond its three streams goes on to a
// child. close_range knows CLOSE_RANGE_CLOEXEC from Linux 5.11 on; before,
// each open descriptor is marked by itself.
void keep_descriptors_from_children() {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  DIR* open_fds = ::opendir("/proc/self/fd");
  if (open_fds == nullptr) return;
  const int own = ::dirfd(open_fds);
  while (const dirent* entry = ::readdir(open_fds)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || end == entry->d_name || fd < 3 || fd == own) continue;
    const int flags = ::fcntl(static_cast<int>(fd), F_GETFD);
    if (flags != -1) ::fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
  }
  ::closedir(open_fds);
}

}  // namespace

void prepare_process() {
  for (int fd = 0; fd <= 2; ++fd) bind_to_null_if_closed(fd);
  keep_descriptors_from_children();
}

SystemResult<std::string> executable_path() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return posix::error("readlink('/proc/self/exe')", errno);
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::size_t executable_file_name(char* out, std::size_t capacity) noexcept {
  static char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0 || capacity == 0) return 0;
  std::size_t start = static_cast<std::size_t>(n);
  while (start > 0 && path[start - 1] != '/') --start;
  const std::size_t length = std::min(static_cast<std::size_t>(n) - start, capacity - 1);
  std::memcpy(out, path + start, length);
  out[length] = '\0';
  return length;
}

namespace {

// In-process components may have written through the C and C++ streams;
// the launcher itself writes straight to the descriptors.
void* flush_streams(void*) {
  std::cout.flush();
  std::cerr.flush();
  (void)std::fflush(nullptr);
  return nullptr;
}

}  // namespace

void end_process(int status) {
  pthread_t flusher;
  if (::pthread_create(&flusher, nullptr, flush_streams, nullptr) == 0) {
    timespec limit{};
    ::clock_gettime(CLOCK_REALTIME, &limit);
    limit.tv_nsec += 200'000'000;
    if (limit.tv_nsec >= 1'000'000'000) {
      limit.tv_nsec -= 1'000'000'000;
      ++limit.tv_sec;
    }
    ::pthread_timedjoin_np(flusher, nullptr, &limit);
  }
  end_process_at_once(status);
}

void end_process_at_once(int status) noexcept { ::_exit(status); }

std::uint64_t current_thread_id() noexcept { return static_cast<std::uint64_t>(::gettid()); }

std::size_t thread_ids(std::uint64_t* out, std::size_t capacity) noexcept {
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) return 0;
  std::size_t count = 0;
  while (const dirent* entry = ::readdir(tasks)) {
    char* end = nullptr;
    const unsigned long id = std::strtoul(entry->d_name, &end, 10);
    if (*end == '\0' && end != entry->d_name && count < capacity) out[count++] = id;
  }
  ::closedir(tasks);
  return count;
}

}  // namespace tolvane::platform
