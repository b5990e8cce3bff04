#include "protocol.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

#include "../diagnostics.hpp"
#include "../heading.hpp"
#include "../platform/console.hpp"
#include "../process_info.hpp"
#include "report.hpp"

namespace tolvane::check {

namespace {

constexpr std::string_view call_marker = "tolvane-check-call: ";
constexpr std::string_view returned_marker = "tolvane-check-returned: ";
constexpr std::string_view verdict_marker = "tolvane-check-verdict: ";
constexpr std::string_view chain_ended_marker = "tolvane-check-chain-ended";
constexpr std::string_view ended_marker = "tolvane-check-end";

void say(std::string_view marker, std::string_view rest = {}) {
  std::string line = "\n";
  line.append(marker).append(rest).append("\n");
  platform::write_text_if_possible(platform::Stream::out, line);
}

Level level_of(std::string_view word) {
  for (const Level level : {Level::pass, Level::warn, Level::skip})
    if (word == level_word(level)) return level;
  return Level::fail;
}

}  // namespace

void LineReport::calling(const char* where) { say(call_marker, one_line(where)); }
void LineReport::returned(const char* where) { say(returned_marker, one_line(where)); }
void LineReport::chain_ended() { say(chain_ended_marker); }
void LineReport::ended() { say(ended_marker); }

void LineReport::verdict(const Check& check, const Verdict& verdict) {
  say(verdict_marker, std::string(check.name) + "\t" + level_word(verdict.level) + "\t" +
                          one_line(verdict.seen) + "\t" + one_line(verdict.fix));
}

bool RunLines::feed(std::string_view text) {
  bool progress = false;
  for (const char c : text) {
    if (c != '\n') {
      if (partial_.size() < std::size_t{64} * 1024) partial_ += c;
      continue;
    }
    progress = take(std::exchange(partial_, {})) || progress;
  }
  return progress;
}

void RunLines::finish() { take(std::exchange(partial_, {})); }

bool RunLines::take(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const auto rest = [&](std::string_view marker) { return line.substr(marker.size()); };
  if (line.starts_with(call_marker)) {
    last_call = rest(call_marker);
    in_progress.push_back(*last_call);
    return true;
  }
  if (line.starts_with(returned_marker)) {
    const auto found = std::find(in_progress.rbegin(), in_progress.rend(), rest(returned_marker));
    if (found != in_progress.rend()) in_progress.erase(std::next(found).base());
    return true;
  }
  if (line.starts_with(verdict_marker)) {
    const std::string fields = rest(verdict_marker);
    const auto first = fields.find('\t'), second = fields.find('\t', first + 1),
               third = fields.find('\t', second + 1);
    if (third == std::string::npos) return false;
    const Check* check = find_check(fields.substr(0, first));
    if (check == nullptr) return false;
    verdicts.push_back(
        {check, Verdict{level_of(fields.substr(first + 1, second - first - 1)),
                        fields.substr(second + 1, third - second - 1), fields.substr(third + 1)}});
    return true;
  }
  if (line == chain_ended_marker) {
    chain_ended = true;
    return true;
  }
  if (line == ended_marker) {
    ended = true;
    return true;
  }
  const std::string own = program_name() + ": ";
  if (line.starts_with(own) && !diagnostic) diagnostic = line.substr(own.size());
  return false;
}

}  // namespace tolvane::check
