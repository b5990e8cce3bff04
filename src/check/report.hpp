// What the runs came to, and how it is written: one line per check (the
// worst of its runs), a line for each component the layout lacks, the
// summary, the exit status, and the same as JUnit XML for CI servers.
#pragma once

#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "check.hpp"
#include "checks.hpp"

namespace tolvane::check {

class Tally {
 public:
  // What one run ("modules -nogui", "tools #2" when repeated) said of a
  // check.
  void add(const Check& check, const std::string& run, const Verdict& verdict);
  // After a run that failed: a SKIP for each chosen check that it meets
  // and did not reach.
  void add_not_reached(const std::string& label, const Run& run,
                       std::span<const Check* const> chosen);
  // A component the layout lacks: SKIP, or FAIL when it was required.
  void add_component(const std::string& name, const Verdict& verdict);

  // The lines of the checks in chosen (in order) and of the components,
  // and the summary. only_failed keeps the failed lines alone.
  std::string text(std::span<const Check* const> chosen, bool only_failed) const;
  // 0, or 1 when a chosen check or a component failed (or warned, when
  // strict).
  int status(std::span<const Check* const> chosen, bool strict) const;
  std::string junit(std::span<const Check* const> chosen, bool strict) const;

 private:
  struct Record {
    const Check* check;
    std::string run;
    Verdict verdict;
  };
  struct Line {
    std::string name;
    Verdict verdict;
  };
  // The check's line: its worst verdict, named by the run that gave it
  // when runs disagree. None when no run met the check.
  std::vector<Line> lines(std::span<const Check* const> chosen) const;

  mutable std::mutex mutex_;
  std::vector<Record> records_;
  std::vector<Line> components_;
};

// "PASS", "WARN", "FAIL", "SKIP"
const char* level_word(Level level);
// One line, without a tab: whatever a component put in what a check saw.
std::string one_line(std::string text);

}  // namespace tolvane::check
