// POSIX implementation of the platform layer (Linux and the like). It
// stands in for the Windows services so the whole launcher runs natively:
// SIGINT plays the console's Ctrl-C, posix_spawn plays CreateProcessW.

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "../failure.hpp"
#include "../utf.hpp"
#include "platform.hpp"

extern char** environ;

namespace tolvane::platform {

const paths::Flavour path_flavour = paths::Flavour::posix;
const char* const module_suffix = ".so";
const std::uint32_t interrupted_exit_code = 128 + SIGINT;

namespace {

std::atomic<bool> interrupt_flag{false};
// Written by the signal handlers so that poll() wakes: SIGINT and SIGCHLD.
int wake_pipe[2] = {-1, -1};

const char* errno_kind(int error) {
  switch (error) {
    case ENOENT: return kind::not_found;
    case ENOTDIR: return kind::not_a_directory;
    case EACCES:
    case EPERM: return kind::permission;
    case EPIPE: return kind::broken_pipe;
    default: return kind::system;
  }
}

Failure errno_failure(const std::string& where, const std::string& api, int error) {
  return system_failure(where, errno_kind(error), api, static_cast<unsigned long>(error),
                        std::strerror(error));
}

void poke_wake_pipe() {
  const int saved = errno;
  const char byte = 0;
  if (wake_pipe[1] >= 0) [[maybe_unused]] auto n = ::write(wake_pipe[1], &byte, 1);
  errno = saved;
}

void on_sigint(int) {
  interrupt_flag.store(true);
  poke_wake_pipe();
}

void on_sigchld(int) { poke_wake_pipe(); }

void drain_wake_pipe() {
  char buffer[64];
  while (::read(wake_pipe[0], buffer, sizeof buffer) > 0) {
  }
}

// Sleeps until the wake pipe is poked, fd (if any) is ready, or deadline.
void wait_for_wake(std::optional<Clock::time_point> deadline, int fd = -1) {
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

void bind_to_null_if_closed(int fd) {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return;
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd >= 0 && null_fd != fd) {
    ::dup2(null_fd, fd);
    ::close(null_fd);
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

void prepare_process() {
  for (int fd = 0; fd <= 2; ++fd) bind_to_null_if_closed(fd);
  // Nothing the launcher was handed beyond its three streams goes on to a
  // child.
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  if (::pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    throw errno_failure("start-up", "pipe2", errno);
  struct sigaction current {};
  ::sigaction(SIGINT, nullptr, &current);
  // A launcher started with SIGINT ignored (a background job) keeps it so,
  // as its children will.
  if (current.sa_handler != SIG_IGN) install(SIGINT, on_sigint, 0);
  install(SIGCHLD, on_sigchld, SA_NOCLDSTOP | SA_RESTART);
  install(SIGPIPE, SIG_IGN, 0);
}

std::string executable_path() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw errno_failure("start-up", "readlink('/proc/self/exe')", errno);
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

void end_process(int status) {
  // In-process components may have written through the C and C++
  // streams; the launcher itself writes straight to the descriptors.
  std::cout.flush();
  std::cerr.flush();
  (void)std::fflush(nullptr);
  ::_exit(status);
}

namespace {
// 0, or the errno of the write that failed.
int write_all(Stream stream, std::string_view text) {
  const int fd = stream == Stream::out ? 1 : 2;
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}
}  // namespace

void write_text(Stream stream, std::string_view text) {
  if (const int error = write_all(stream, text))
    throw errno_failure(stream == Stream::out ? "stdout" : "stderr", "write", error);
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

std::string current_directory() {
  std::string buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) throw errno_failure("getcwd", "getcwd", errno);
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

void change_directory(const std::string& path) {
  if (::chdir(path.c_str()) != 0) throw errno_failure("chdir", "chdir('" + path + "')", errno);
}

std::string absolute_path(const std::string& path) {
  return paths::absolute_posix(path, current_directory());
}

std::string final_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) throw errno_failure("realpath", "realpath('" + path + "')", errno);
  std::string result(resolved);
  std::free(resolved);
  return result;
}

std::string short_path(const std::string& path) { return path; }

bool take_interrupt() { return interrupt_flag.exchange(false); }

bool wait_for_interrupt(Clock::time_point deadline) {
  for (;;) {
    if (interrupt_flag.load()) return true;
    if (Clock::now() >= deadline) return false;
    wait_for_wake(deadline);
  }
}

void raise_interrupt_for_testing() { on_sigint(SIGINT); }

// --- child processes -------------------------------------------------------

struct Child::State {
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
  int out_pipe[2] = {-1, -1};
  if (capture_output && ::pipe2(out_pipe, O_CLOEXEC) != 0) throw errno_failure(where, "pipe2", errno);

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
    throw errno_failure(where, "posix_spawn('" + program + "')", error);
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
    if (interrupt_flag.load()) return Event::interrupted;
    chunk.resize(piece);
    const ssize_t n = ::read(state_->out_fd, chunk.data(), piece);
    if (n > 0) {
      chunk.resize(static_cast<std::size_t>(n));
      return Event::data;
    }
    if (n == 0) return Event::end;
    if (errno != EINTR && errno != EAGAIN) throw errno_failure("read", "read", errno);
    wait_for_wake(std::nullopt, state_->out_fd);
  }
}

Child::Wait Child::wait(std::optional<Clock::time_point> deadline, bool interruptible) {
  for (;;) {
    if (state_->poll_exit()) return Wait::exited;
    if (interruptible && interrupt_flag.load()) return Wait::interrupted;
    if (deadline && Clock::now() >= *deadline) return Wait::timed_out;
    wait_for_wake(deadline);
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

// --- output decoding -------------------------------------------------------

namespace {
class Utf8Decoder final : public OutputDecoder {
 public:
  bool feed(std::string_view bytes, std::string& out) override {
    return validator_.feed(bytes, out);
  }
  bool finish() override { return validator_.finish(); }
  std::string name() const override { return "UTF-8"; }

 private:
  utf::Utf8Validator validator_;
};
}  // namespace

std::unique_ptr<OutputDecoder> make_output_decoder() { return std::make_unique<Utf8Decoder>(); }

// --- modules ---------------------------------------------------------------

void* load_module(const std::string& where, const std::string& path) {
  if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  const std::string reason = ::dlerror();
  // dlerror names the missing file, but not whether it is the module or a
  // library that the module needs.
  const bool dependency_missing =
      ::access(path.c_str(), F_OK) == 0 && reason.find("cannot open shared object file") != std::string::npos;
  throw Failure(where, kind::binding,
                dependency_missing
                    ? path + ": a library that the module depends on is missing: " + reason
                                   : reason);
}

void* find_symbol(void* module, const char* name) { return ::dlsym(module, name); }

}  // namespace tolvane::platform
