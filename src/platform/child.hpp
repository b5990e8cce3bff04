// A tool started as a child process.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../failure.hpp"
#include "interrupts.hpp"

namespace tolvane::platform {

// The exit code of a child that Ctrl-C ended (STATUS_CONTROL_C_EXIT;
// natively death by SIGINT).
extern const std::uint32_t interrupted_exit_code;

// A command line that the system cannot carry: how long it is, and the
// most it takes (Windows: 32766 UTF-16 units); nothing when it fits.
struct TooLong {
  std::size_t length;
  std::size_t limit;
};
std::optional<TooLong> command_line_too_long(const std::vector<std::string>& argv);

class Child {
 public:
  enum class Event { data, end, interrupted, timed_out, failed };
  // Where the child's standard output or standard error goes: the
  // launcher's own stream, or the pipe that read() drains (standard error
  // only together with standard output).
  enum class Sink { inherited, pipe };
  // The launcher's own group, where Ctrl-C reaches the child too; or a
  // group of its own, which terminate() and the end of this object end as
  // a whole, with whatever the child started (for a caller that must
  // leave nothing running: the validator's runs).
  enum class Group { shared, own };
  enum class Wait { exited, interrupted, timed_out, failed };

  Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Never leaves a child running: terminates and reaps one that is.
  ~Child();

  // Starts program (an absolute path, never searched for and never given to
  // a command interpreter) with exactly these argument words. It inherits
  // the current folder, the environment, the console and standard input;
  // standard output and standard error go where output and errors say. No
  // other handle is inherited. Once only. A start that fails says what the
  // system said (a missing program: Reason::not_found) and leaves nothing
  // running; it is the caller's to tell what it means, as an interrupt may
  // be why it failed.
  [[nodiscard]] std::optional<SystemError> start(const std::string& program,
                                                 const std::vector<std::string>& argv, Sink output,
                                                 Sink errors = Sink::inherited,
                                                 Group group = Group::shared);

  // Reads the next piece of captured output into chunk (replacing it).
  // Returns interrupted as soon as an interrupt is recorded, timed_out when
  // nothing came by the deadline (if any), failed when the system refused
  // (what it said: failure()).
  Event read(std::string& chunk, std::optional<Clock::time_point> deadline = std::nullopt);
  // Waits for the exit until deadline (none: no limit). With
  // interruptible false an interrupt does not end the wait. failed, as
  // read().
  Wait wait(std::optional<Clock::time_point> deadline, bool interruptible);
  // Ends the child, and with Group::own everything in its group.
  void terminate();
  std::uint32_t exit_code() const;
  // What the system said when read() or wait() failed.
  const SystemError& failure() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tolvane::platform
