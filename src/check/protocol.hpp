// What a run says while it goes: each call it makes, each verdict it
// reaches, where it stands. A run in a child process says it in lines of
// its standard output, among whatever the components write there, and the
// parent reads them back; a run in the validator's own process
// (--in-process) says it to the tally directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "checks.hpp"

namespace tolvane::check {

class RunReport {
 public:
  virtual ~RunReport() = default;
  // A call into a component begins, or has returned; on any thread.
  virtual void calling(const char* where) = 0;
  virtual void returned(const char* where) = 0;
  // The chain has returned, and the run goes on watching for as long as
  // the launcher could still run.
  virtual void chain_ended() = 0;
  virtual void verdict(const Check& check, const Verdict& verdict) = 0;
  // The run is over; nothing follows.
  virtual void ended() = 0;
  // The run cannot go on (a call that does not return), and the process
  // ends right after this with status 1: whatever is to be said, now.
  virtual void gave_up() = 0;
};

// A child run's report: one line per event on standard output, each
// written whole by one write, after a line break of its own (a component
// may have left its last line open).
class LineReport final : public RunReport {
 public:
  void calling(const char* where) override;
  void returned(const char* where) override;
  void chain_ended() override;
  void verdict(const Check& check, const Verdict& verdict) override;
  void ended() override;
  void gave_up() override { ended(); }
};

// The parent's reading of a child run's output and errors, line by line;
// the components' own lines in between are passed over, however much of
// them comes.
class RunLines {
 public:
  // true when a line showed progress: a call begun or returned, a verdict.
  bool feed(std::string_view text);
  void finish();

  struct Reached {
    const Check* check;
    Verdict verdict;
  };
  std::vector<Reached> verdicts;
  std::vector<std::string> in_progress;  // calls begun and not returned, oldest first
  std::optional<std::string> last_call;
  bool chain_ended = false;
  bool ended = false;
  // A diagnostic line of the child's own ("WHERE: crash: ..."), without
  // the program's name.
  std::optional<std::string> diagnostic;

 private:
  bool take(std::string line);
  std::string partial_;
};

}  // namespace tolvane::check
