#include "report.hpp"

#include <algorithm>
#include <map>

#include "../diagnostics.hpp"
#include "../heading.hpp"
#include "../process_info.hpp"

namespace tolvane::check {

namespace {

// How bad a verdict is, to pick the line a check gets from its runs: a
// SKIP (not reached) says least.
int weight(Level level) {
  switch (level) {
    case Level::skip: return 0;
    case Level::pass: return 1;
    case Level::warn: return 2;
    case Level::fail: return 3;
  }
  return 3;
}

std::string xml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // XML 1.0 has no other control characters at all.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
          out += ' ';
        else
          out += c;
    }
  }
  return out;
}

bool counts_as_failure(Level level, bool strict) {
  return level == Level::fail || (strict && level == Level::warn);
}

}  // namespace

std::string one_line(std::string text) {
  text.resize(blank_line_ends(text.data(), text.size()));
  for (char& c : text)
    if (c == '\t') c = ' ';
  return text;
}

const char* level_word(Level level) {
  switch (level) {
    case Level::pass: return "PASS";
    case Level::warn: return "WARN";
    case Level::fail: return "FAIL";
    case Level::skip: return "SKIP";
  }
  return "FAIL";
}

void Tally::add(const Check& check, const std::string& run, const Verdict& verdict) {
  const std::lock_guard<std::mutex> lock(mutex_);
  // A run says one thing of a check: the worst of what it said (a crash
  // after the check had passed).
  for (Record& record : records_)
    if (record.check == &check && record.run == run) {
      if (weight(verdict.level) > weight(record.verdict.level)) record.verdict = verdict;
      return;
    }
  records_.push_back({&check, run, verdict});
}

void Tally::add_not_reached(const std::string& label, const Run& run,
                            std::span<const Check* const> chosen) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Record* first_failure = nullptr;
  for (const Record& record : records_)
    if (record.run == label && record.verdict.level == Level::fail) {
      first_failure = &record;
      break;
    }
  if (first_failure == nullptr) return;
  const std::string why = std::string("not reached: ") + first_failure->check->name + " failed";
  const Check* const failed_check = first_failure->check;
  // What comes before the failure in the chain's order and was not
  // reported did not apply to this run (monitor_main, for an unattended
  // monitor).
  bool after_failure = false;
  for (const Check& check : all_checks()) {
    after_failure = after_failure || &check == failed_check;
    if (!after_failure || !meets(run, check) ||
        std::find(chosen.begin(), chosen.end(), &check) == chosen.end())
      continue;
    const bool reached = std::any_of(records_.begin(), records_.end(), [&](const Record& r) {
      return r.run == label && r.check == &check;
    });
    if (!reached) records_.push_back({&check, label, skipped(why)});
  }
}

void Tally::add_component(const std::string& name, const Verdict& verdict) {
  const std::lock_guard<std::mutex> lock(mutex_);
  components_.push_back({name, verdict});
}

std::vector<Tally::Line> Tally::lines(std::span<const Check* const> chosen) const {
  std::vector<Line> out = components_;
  for (const Check* check : chosen) {
    const Record* worst = nullptr;
    bool runs_disagree = false;
    for (const Record& record : records_) {
      if (record.check != check) continue;
      if (worst != nullptr && record.verdict.level != worst->verdict.level) runs_disagree = true;
      if (worst == nullptr || weight(record.verdict.level) > weight(worst->verdict.level))
        worst = &record;
    }
    if (worst == nullptr) continue;
    std::string name = check->name;
    if (runs_disagree && worst->verdict.level != Level::pass) name += " (" + worst->run + ")";
    out.push_back({name, worst->verdict});
  }
  return out;
}

std::string Tally::text(std::span<const Check* const> chosen, bool only_failed) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::string out;
  std::map<Level, int> counts;
  for (const Line& line : lines(chosen)) {
    const Verdict& verdict = line.verdict;
    ++counts[verdict.level];
    if (only_failed && verdict.level != Level::fail) continue;
    std::string text = std::string(level_word(verdict.level)) + " " + line.name;
    if (verdict.level == Level::pass) {
      if (!verdict.seen.empty()) text += " (" + verdict.seen + ")";
    } else {
      text += ": " + verdict.seen;
      if (!verdict.fix.empty()) text += ". Fix: " + verdict.fix;
    }
    out += one_line(text) + "\n";
  }
  const int total =
      counts[Level::pass] + counts[Level::warn] + counts[Level::fail] + counts[Level::skip];
  out += program_name() + ": " + std::to_string(total) +
         " checks: " + std::to_string(counts[Level::pass]) + " passed, " +
         std::to_string(counts[Level::warn]) + " warned, " + std::to_string(counts[Level::fail]) +
         " failed, " + std::to_string(counts[Level::skip]) + " skipped\n";
  return out;
}

int Tally::status(std::span<const Check* const> chosen, bool strict) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const Line& line : lines(chosen))
    if (counts_as_failure(line.verdict.level, strict)) return 1;
  return 0;
}

std::string Tally::junit(std::span<const Check* const> chosen, bool strict) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  // One suite per run, and one for the layout's components.
  std::map<std::string, std::vector<std::pair<std::string, Verdict>>> suites;
  for (const Line& line : components_) suites["layout"].emplace_back(line.name, line.verdict);
  for (const Check* check : chosen)
    for (const Record& record : records_)
      if (record.check == check) suites[record.run].emplace_back(check->name, record.verdict);
  std::string body;
  int tests = 0, failures = 0, skipped = 0;
  for (const auto& [run, cases] : suites) {
    int suite_failures = 0, suite_skipped = 0;
    std::string suite;
    for (const auto& [name, verdict] : cases) {
      suite += "    <testcase classname=\"" + xml("tolvane-check." + run) + "\" name=\"" +
               xml(name) + "\"";
      const std::string fix = verdict.fix.empty() ? "" : "Fix: " + verdict.fix;
      if (counts_as_failure(verdict.level, strict)) {
        ++suite_failures;
        suite += ">\n      <failure type=\"" + std::string(level_word(verdict.level)) +
                 "\" message=\"" + xml(verdict.seen) + "\">" + xml(fix) + "</failure>\n";
        suite += "    </testcase>\n";
      } else if (verdict.level == Level::skip) {
        ++suite_skipped;
        suite += ">\n      <skipped message=\"" + xml(verdict.seen) + "\"/>\n    </testcase>\n";
      } else if (verdict.level == Level::warn) {
        suite += ">\n      <system-out>" + xml("WARN: " + verdict.seen + ". " + fix) +
                 "</system-out>\n    </testcase>\n";
      } else {
        suite += "/>\n";
      }
    }
    body += "  <testsuite name=\"" + xml(run) + "\" tests=\"" + std::to_string(cases.size()) +
            "\" failures=\"" + std::to_string(suite_failures) + "\" errors=\"0\" skipped=\"" +
            std::to_string(suite_skipped) + "\">\n" + suite + "  </testsuite>\n";
    tests += static_cast<int>(cases.size());
    failures += suite_failures;
    skipped += suite_skipped;
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"tolvane-check\" tests=\"" +
         std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
         "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\">\n" + body +
         "</testsuites>\n";
}

}  // namespace tolvane::check
