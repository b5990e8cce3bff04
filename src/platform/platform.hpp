// The one thin layer over the operating system. platform-win32.cpp and
// platform-posix.cpp implement it; the build picks one. Text crossing this
// boundary is UTF-8 (on Windows converted to and from UTF-16 losslessly,
// unpaired surrogates included), and every Windows call is the wide one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "paths.hpp"

namespace tolvane::platform {

using Clock = std::chrono::steady_clock;

extern const paths::Flavour path_flavour;
extern const char* const module_suffix;  // ".dll" or ".so"
// The exit code of a child that Ctrl-C ended (STATUS_CONTROL_C_EXIT; natively
// death by SIGINT).
extern const std::uint32_t interrupted_exit_code;

// --- start-up --------------------------------------------------------------

// Before anything else: restrict DLL loading to the system directory
// (Windows), bind a missing standard stream to the null device and start
// recording Ctrl-C / SIGINT as an interrupt.
void prepare_process();

// The running executable's full path as the system reports it.
std::string executable_path();

// Ends the process at once with status after flushing what was written;
// no static destructors run, so a detached worker cannot race them.
[[noreturn]] void end_process(int status);

// --- console and environment -----------------------------------------------

enum class Stream { out, err };

// Writes UTF-8 text whose lines end in "\n", with the platform's line
// break. A console gets the wide console API; a pipe or file gets UTF-8.
// A stream that refuses the text (a full disk, a closed pipe) is a Failure
// naming the stream.
void write_text(Stream stream, std::string_view text);
// The same for text that has nowhere else to go: a refusal is ignored.
void write_text_if_possible(Stream stream, std::string_view text) noexcept;

std::optional<int> console_width();
std::optional<std::string> environment(const char* name);

// --- directories and paths -------------------------------------------------

std::string current_directory();
void change_directory(const std::string& path);
// Text normalisation, then the platform's full-path operation. Nothing on
// disk is read.
std::string absolute_path(const std::string& path);
// The final path as the file system reports it, links resolved.
std::string final_path(const std::string& path);
// The short (8.3) spelling where the volume keeps one, else the path.
std::string short_path(const std::string& path);

// --- interrupts ------------------------------------------------------------

// Clears a recorded interrupt; true when there was one.
bool take_interrupt();
// Sleeps until deadline or until an interrupt is recorded (true). Never
// spins.
bool wait_for_interrupt(Clock::time_point deadline);
// Records an interrupt as the console handler would (used by tests).
void raise_interrupt_for_testing();

// --- child processes -------------------------------------------------------

class Child {
 public:
  enum class Event { data, end, interrupted };
  enum class Wait { exited, interrupted, timed_out };

  // Starts program (an absolute path, never searched for and never given to
  // a command interpreter) with exactly these argument words. It inherits
  // the current directory, the environment, the console, standard input and
  // standard error; standard output too unless capture_output, in which
  // case it goes to a pipe that read() drains. No other handle is
  // inherited. A missing program is a not_found Failure.
  Child(const std::string& where, const std::string& program,
        const std::vector<std::string>& argv, bool capture_output);
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Never leaves a child running: terminates and reaps one that is.
  ~Child();

  // Reads the next piece of captured output into chunk (replacing it).
  // Returns interrupted as soon as an interrupt is recorded.
  Event read(std::string& chunk);
  // Waits for the exit until deadline (none: no limit). With
  // interruptible false an interrupt does not end the wait.
  Wait wait(std::optional<Clock::time_point> deadline, bool interruptible);
  void terminate();
  std::uint32_t exit_code() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// --- converter output decoding --------------------------------------------

// Strict streaming decoder for a child's output: the active ANSI code page
// on Windows, UTF-8 natively. A character split across two reads is carried
// over to the next one.
class OutputDecoder {
 public:
  virtual ~OutputDecoder() = default;
  // Appends the complete characters of bytes to out as UTF-8. false at the
  // first byte sequence that the encoding does not define; the decoder is
  // then spent.
  virtual bool feed(std::string_view bytes, std::string& out) = 0;
  // false when the output ended inside a character.
  virtual bool finish() = 0;
  // Describes the encoding for messages, e.g. "cp932".
  virtual std::string name() const = 0;
};
std::unique_ptr<OutputDecoder> make_output_decoder();

// --- component modules -----------------------------------------------------

// Loads a shared library by its full path (never through a search path)
// and never unloads it. A failure names the module and the system's reason.
void* load_module(const std::string& where, const std::string& path);
// The address of an exported symbol, or null when the module has none of
// that name.
void* find_symbol(void* module, const char* name);

}  // namespace tolvane::platform
