#include "tool_runs.hpp"

#include <chrono>
#include <utility>

#include "failure.hpp"
#include "heading.hpp"
#include "interruption.hpp"
#include "os.hpp"
#include "platform/child.hpp"
#include "platform/output_decoder.hpp"

namespace tolvane {

namespace {

using namespace std::chrono_literals;
using Sink = platform::Child::Sink;
constexpr auto grace = 250ms;

// Ends a child that is still running at a deadline.
void end_at_deadline(platform::Child& child) {
  child.terminate();
  child.wait(std::nullopt, false);
}

[[noreturn]] void end_after_interrupt(platform::Child& child, const std::string& where) {
  if (child.wait(platform::Clock::now() + grace, false) == platform::Child::Wait::timed_out)
    end_at_deadline(child);
  platform::take_interrupt();
  throw Failure(where, kind::interrupted, "interrupted");
}

// The exit code, or nullopt when the child was still running at the
// deadline and has been ended.
std::optional<std::uint32_t> wait_for_exit(platform::Child& child, const std::string& where,
                                           Deadline deadline) {
  const auto waited = child.wait(deadline, true);
  if (waited == platform::Child::Wait::failed) throw system_failure(where, child.failure());
  if (waited == platform::Child::Wait::interrupted) end_after_interrupt(child, where);
  if (waited == platform::Child::Wait::timed_out) {
    end_at_deadline(child);
    return std::nullopt;
  }
  // Ctrl-C reaches the child and the launcher at once, but the launcher's
  // console handler runs on a thread of its own and may come second: a
  // child that Ctrl-C ended gets the interrupt a moment to arrive.
  if (child.exit_code() == platform::interrupted_exit_code)
    platform::wait_for_interrupt(platform::Clock::now() + grace);
  end_if_interrupted(where);
  return child.exit_code();
}

// A NUL would end the element early in the child, and what followed it
// would be lost without a trace.
void check_arguments(const std::string& where, const std::vector<std::string>& argv) {
  for (std::size_t i = 0; i < argv.size(); ++i)
    if (argv[i].find('\0') != std::string::npos)
      throw Failure(
          where, kind::bad_value,
          "argument " + std::to_string(i) + " holds a NUL character and cannot be passed whole");
}

// Starts the child, or ends the run: with the interruption when one is
// recorded by the time its start fails (it can be why: Wine answers error
// 1359 then, and its handler may come a moment later), else with the
// start's failure.
void start(platform::Child& child, const std::string& where, const std::string& program,
           const std::vector<std::string>& argv, Sink output) {
  end_if_interrupted(where);
  check_arguments(where, argv);
  // Wine would cut a longer one short without a word.
  if (const auto too_long = platform::command_line_too_long(argv))
    throw Failure(where, kind::system,
                  "the command line for " + program + " is " + std::to_string(too_long->length) +
                      " characters long; Windows takes at most " + std::to_string(too_long->limit));
  if (const auto failed = child.start(program, argv, output, Sink::inherited)) {
    const bool missing = failed->reason == SystemError::Reason::not_found;
    if (!missing) platform::wait_for_interrupt(platform::Clock::now() + grace);
    end_if_interrupted(where);
    if (missing) throw Failure(where, kind::not_found, "no such component executable: " + program);
    throw system_failure(where, *failed);
  }
}

}  // namespace

ConverterResult run_converter_tool(const std::string& where, const std::string& program,
                                   const std::vector<std::string>& argv, Deadline deadline,
                                   const std::function<void(std::string_view)>& on_output) {
  platform::Child child;
  start(child, where, program, argv, Sink::pipe);
  auto decoder = platform::make_output_decoder();
  LastLine last;
  ConverterResult result;
  std::string chunk, text;
  bool valid = true;
  for (;;) {
    const auto event = child.read(chunk, deadline);
    if (event == platform::Child::Event::failed) throw system_failure(where, child.failure());
    if (event == platform::Child::Event::interrupted) end_after_interrupt(child, where);
    if (event == platform::Child::Event::timed_out) {
      result.output_held_open =
          child.wait(platform::Clock::now(), false) == platform::Child::Wait::exited;
      end_at_deadline(child);
      result.timed_out = true;
      return result;
    }
    if (event == platform::Child::Event::end) break;
    if (on_output) on_output(chunk);
    // After an invalid byte the rest is still drained, so the converter is
    // never left blocked on a full pipe.
    if (!valid) continue;
    text.clear();
    valid = decoder->feed(chunk, text);
    last.feed(text);
  }
  if (valid && !decoder->finish()) valid = false;
  const auto exit_code = wait_for_exit(child, where, deadline);
  if (!exit_code) {
    result.timed_out = true;
    return result;
  }
  result.exit_code = *exit_code;
  if (!valid)
    result.decode_error = "the output is not valid " + decoder->name() + " text";
  else
    result.last_line = last.last();
  result.last_line_too_long = last.last_too_long();
  return result;
}

std::string tool_path(const std::string& folder, const ComponentKind& kind) {
  return os::path::join(os::path::join(folder, tools_folder), kind.tool);
}

std::string seconds_text(std::chrono::milliseconds duration) {
  const auto ms = duration.count();
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) text.append(".").append(std::to_string(ms % 1000 / 100));
  return text.append(" s");
}

std::optional<std::uint32_t> run_tool(const std::string& where, const std::string& program,
                                      const std::vector<std::string>& argv, Deadline deadline) {
  platform::Child child;
  start(child, where, program, argv, Sink::inherited);
  return wait_for_exit(child, where, deadline);
}

}  // namespace tolvane
