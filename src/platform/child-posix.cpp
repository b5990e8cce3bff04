// A tool as a child process natively: posix_spawn of the
// absolute path with exactly the argument vector, only descriptors 0, 1
// and 2 passed, and the converter's output on a non-blocking pipe that an
// interrupt can cut short.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "child.hpp"
#include "interrupts-posix.hpp"
#include "support-posix.hpp"

extern char** environ;

namespace tolvane::platform {

const std::uint32_t interrupted_exit_code = 128 + SIGINT;

struct Child::State {
  pid_t pid = -1;
  int out_fd = -1;
  bool own_group = false;  // the child leads a process group of its own
  bool reaped = false;
  int status = 0;
  SystemError failure;

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

namespace {

// The spawn's file actions and attributes, destroyed however the start
// ends. Each call that sets them up can fail (they allocate), and a child
// started without them would write into the launcher's own output.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  bool have_actions = false, have_attributes = false;

  SpawnSetup() = default;
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    if (have_actions) posix_spawn_file_actions_destroy(&actions);
    if (have_attributes) posix_spawnattr_destroy(&attributes);
  }

  // The name of the call that failed and its error, or nullopt.
  std::optional<std::pair<const char*, int>> prepare(int pipe_fd, Child::Sink output,
                                                     Child::Sink errors, bool own_group) {
    if (const int e = posix_spawn_file_actions_init(&actions))
      return {{"posix_spawn_file_actions_init", e}};
    have_actions = true;
    for (const auto& [target, sink] : {std::pair{1, output}, std::pair{2, errors}})
      if (sink == Child::Sink::pipe)
        if (const int e = posix_spawn_file_actions_adddup2(&actions, pipe_fd, target))
          return {{"posix_spawn_file_actions_adddup2", e}};
    if (const int e = posix_spawnattr_init(&attributes)) return {{"posix_spawnattr_init", e}};
    have_attributes = true;
    sigset_t defaults, mask;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    sigemptyset(&mask);
    if (const int e = posix_spawnattr_setsigdefault(&attributes, &defaults))
      return {{"posix_spawnattr_setsigdefault", e}};
    if (const int e = posix_spawnattr_setsigmask(&attributes, &mask))
      return {{"posix_spawnattr_setsigmask", e}};
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (own_group) {
      if (const int e = posix_spawnattr_setpgroup(&attributes, 0))
        return {{"posix_spawnattr_setpgroup", e}};
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    if (const int e = posix_spawnattr_setflags(&attributes, flags))
      return {{"posix_spawnattr_setflags", e}};
    return std::nullopt;
  }
};

}  // namespace

// No limit of its own: what the system takes is said by posix_spawn.
std::optional<TooLong> command_line_too_long(const std::vector<std::string>&) {
  return std::nullopt;
}

Child::Child() : state_(std::make_unique<State>()) {
  state_->reaped = true;  // until a child runs
}

std::optional<SystemError> Child::start(const std::string& program,
                                        const std::vector<std::string>& argv, Sink output,
                                        Sink errors, Group group) {
  const bool capture_output = output == Sink::pipe;
  int out_pipe[2] = {-1, -1};
  if (capture_output && ::pipe2(out_pipe, O_CLOEXEC) != 0) return posix::error("pipe2", errno);
  const auto close_pipe = [&] {
    for (int& fd : out_pipe)
      if (fd >= 0) ::close(std::exchange(fd, -1));
  };

  SpawnSetup setup;
  if (const auto failed = setup.prepare(out_pipe[1], output, errors, group == Group::own)) {
    close_pipe();
    return posix::error(failed->first, failed->second);
  }
  std::vector<char*> words;
  words.reserve(argv.size() + 1);
  for (const auto& word : argv) words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes,
                                  words.data(), environ);
  if (capture_output) ::close(std::exchange(out_pipe[1], -1));
  if (error != 0) {
    close_pipe();
    return posix::error("posix_spawn('" + program + "')", error);
  }
  state_->pid = pid;
  state_->own_group = group == Group::own;
  state_->reaped = false;
  if (capture_output) {
    // Non-blocking, so a read never sleeps where an interrupt cannot wake
    // it; a larger pipe means fewer wake-ups for a talkative converter.
    ::fcntl(out_pipe[0], F_SETFL, ::fcntl(out_pipe[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(out_pipe[0], F_SETPIPE_SZ, 1 << 20);
  }
  state_->out_fd = out_pipe[0];
  return std::nullopt;
}

Child::~Child() {
  // What the child started lives on in its group after the child itself.
  if (state_->own_group) ::kill(-state_->pid, SIGKILL);
  if (!state_->reaped) {
    ::kill(state_->pid, SIGKILL);
    int s = 0;
    while (::waitpid(state_->pid, &s, 0) < 0 && errno == EINTR) {
    }
  }
  if (state_->out_fd >= 0) ::close(state_->out_fd);
}

Child::Event Child::read(std::string& chunk, std::optional<Clock::time_point> deadline) {
  constexpr std::size_t piece = std::size_t{256} * 1024;
  for (;;) {
    if (posix::interrupt_recorded()) return Event::interrupted;
    if (deadline && Clock::now() >= *deadline) return Event::timed_out;
    chunk.resize(piece);
    const ssize_t n = ::read(state_->out_fd, chunk.data(), piece);
    if (n > 0) {
      chunk.resize(static_cast<std::size_t>(n));
      return Event::data;
    }
    if (n == 0) return Event::end;
    if (errno != EINTR && errno != EAGAIN) {
      state_->failure = posix::error("read", errno);
      return Event::failed;
    }
    posix::wait_for_wake(deadline, state_->out_fd);
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
  if (state_->own_group) ::kill(-state_->pid, SIGKILL);
  if (!state_->reaped) ::kill(state_->pid, SIGKILL);
}

const SystemError& Child::failure() const { return state_->failure; }

std::uint32_t Child::exit_code() const {
  if (WIFEXITED(state_->status)) return static_cast<std::uint32_t>(WEXITSTATUS(state_->status));
  if (WIFSIGNALED(state_->status))
    return 128u + static_cast<std::uint32_t>(WTERMSIG(state_->status));
  return 1;
}

}  // namespace tolvane::platform
