// A component executable as a child process natively: posix_spawn of the
// absolute path with exactly the argument vector, only descriptors 0, 1
// and 2 passed, and the converter's output on a non-blocking pipe that an
// interrupt can cut short.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "child.hpp"
#include "system_calls-posix.hpp"

extern char** environ;

namespace tolvane::platform {

const std::uint32_t interrupted_exit_code = 128 + SIGINT;

struct Child::State {
  std::string where;  // the component, named in every failure
  pid_t pid = -1;
  int out_fd = -1;
  bool reaped = false;
  int status = 0;

  bool poll_exit() {
    if (reaped) return true;
    int s = 0;
    const pid_t r = ::waitpid(pid, &s, WNOHANG);
    if (r == pid) {
      reaped = true;
      status = s;
    }
    return reaped;
  }
};

Child::Child(const std::string& where, const std::string& program,
             const std::vector<std::string>& argv, bool capture_output)
    : state_(std::make_unique<State>()) {
  state_->where = where;
  int out_pipe[2] = {-1, -1};
  if (capture_output && ::pipe2(out_pipe, O_CLOEXEC) != 0) throw posix::failure(where, "pipe2", errno);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (capture_output) posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults, mask;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  sigemptyset(&mask);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &mask);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> words;
  words.reserve(argv.size() + 1);
  for (const auto& word : argv) words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  const int error =
      ::posix_spawn(&state_->pid, program.c_str(), &actions, &attributes, words.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (capture_output) ::close(out_pipe[1]);
  if (error != 0) {
    if (capture_output) ::close(out_pipe[0]);
    state_->reaped = true;
    if (error == ENOENT)
      throw Failure(where, kind::not_found, "no such component executable: " + program);
    throw posix::failure(where, "posix_spawn('" + program + "')", error);
  }
  if (capture_output) {
    // Non-blocking, so a read never sleeps where an interrupt cannot wake
    // it; a larger pipe means fewer wake-ups for a talkative converter.
    ::fcntl(out_pipe[0], F_SETFL, ::fcntl(out_pipe[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(out_pipe[0], F_SETPIPE_SZ, 1 << 20);
  }
  state_->out_fd = out_pipe[0];
}

Child::~Child() {
  if (!state_->reaped) {
    ::kill(state_->pid, SIGKILL);
    int s = 0;
    while (::waitpid(state_->pid, &s, 0) < 0 && errno == EINTR) {
    }
  }
  if (state_->out_fd >= 0) ::close(state_->out_fd);
}

Child::Event Child::read(std::string& chunk) {
  constexpr std::size_t piece = std::size_t{256} * 1024;
  for (;;) {
    if (posix::interrupt_recorded()) return Event::interrupted;
    chunk.resize(piece);
    const ssize_t n = ::read(state_->out_fd, chunk.data(), piece);
    if (n > 0) {
      chunk.resize(static_cast<std::size_t>(n));
      return Event::data;
    }
    if (n == 0) return Event::end;
    if (errno != EINTR && errno != EAGAIN) throw posix::failure(state_->where, "read", errno);
    posix::wait_for_wake(std::nullopt, state_->out_fd);
  }
}

Child::Wait Child::wait(std::optional<Clock::time_point> deadline, bool interruptible) {
  for (;;) {
    if (state_->poll_exit()) return Wait::exited;
    if (interruptible && posix::interrupt_recorded()) return Wait::interrupted;
    if (deadline && Clock::now() >= *deadline) return Wait::timed_out;
    posix::wait_for_wake(deadline);
  }
}

void Child::terminate() {
  if (!state_->reaped) ::kill(state_->pid, SIGKILL);
}

std::uint32_t Child::exit_code() const {
  if (WIFEXITED(state_->status)) return static_cast<std::uint32_t>(WEXITSTATUS(state_->status));
  if (WIFSIGNALED(state_->status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(state_->status));
  return 1;
}

}  // namespace tolvane::platform
