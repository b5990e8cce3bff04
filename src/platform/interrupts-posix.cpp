// SIGINT natively, in the place of the console's Ctrl-C: the handler
// records it, and a self-pipe wakes whatever wait the main thread is in
// (SIGCHLD pokes it too, for the waits on a child).

#include "interrupts-posix.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "support-posix.hpp"

namespace tolvane::platform {

namespace {

std::atomic<bool> interrupt_flag{false};
int wake_pipe[2] = {-1, -1};

void poke_wake_pipe() {
  const int saved = errno;
  const char byte = 0;
  if (wake_pipe[1] >= 0) [[maybe_unused]]
    auto n = ::write(wake_pipe[1], &byte, 1);
  errno = saved;
}

void on_sigint(int) { record_interrupt(); }

void on_sigchld(int) { poke_wake_pipe(); }

void drain_wake_pipe() {
  char buffer[64];
  while (::read(wake_pipe[0], buffer, sizeof buffer) > 0) {
  }
}

void install(int signum, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  ::sigaction(signum, &action, nullptr);
}

}  // namespace

void record_interrupt() {
  interrupt_flag.store(true);
  poke_wake_pipe();
}

std::optional<SystemError> start_recording_interrupts() {
  if (::pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return posix::error("pipe2", errno);
  struct sigaction current {};
  ::sigaction(SIGINT, nullptr, &current);
  // A launcher started with SIGINT ignored (a background job) keeps it so,
  // as its children will. SA_RESTART: the signal may land on any thread,
  // and a blocking call in an in-process component's own thread must not
  // fail for it; the launcher's own waits are ppoll, which it still wakes.
  if (current.sa_handler != SIG_IGN) install(SIGINT, on_sigint, SA_RESTART);
  install(SIGCHLD, on_sigchld, SA_NOCLDSTOP | SA_RESTART);
  install(SIGPIPE, SIG_IGN, 0);
  return std::nullopt;
}

bool posix::interrupt_recorded() { return interrupt_flag.load(); }

void posix::wait_for_wake(std::optional<Clock::time_point> deadline, int fd) {
  pollfd fds[2] = {{wake_pipe[0], POLLIN, 0}, {fd, POLLIN, 0}};
  timespec timeout{};
  timespec* limit = nullptr;
  if (deadline) {
    const auto left = std::max(Clock::duration::zero(), *deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
    timeout.tv_nsec = static_cast<long>(ns % 1000000000);
    limit = &timeout;
  }
  if (::ppoll(fds, fd >= 0 ? 2 : 1, limit, nullptr) > 0 && (fds[0].revents & POLLIN))
    drain_wake_pipe();
}

bool take_interrupt() { return interrupt_flag.exchange(false); }

bool wait_for_interrupt(Clock::time_point deadline) {
  for (;;) {
    if (interrupt_flag.load()) return true;
    if (Clock::now() >= deadline) return false;
    posix::wait_for_wake(deadline);
  }
}

}  // namespace tolvane::platform
