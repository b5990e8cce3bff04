// The converter's output protocol: its text is split into lines and only
// the last one counts, "header:" followed by the heading. LastLine keeps
// that line alone, and at most a bounded prefix of it, so memory stays flat
// however long the output runs, a single endless line included.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// "header:" and 128 KiB: more than the longest argument that either
// platform can pass to a child (natively MAX_ARG_STRLEN, 128 KiB with its
// terminator; on Windows 32766 UTF-16 units, at most 98298 bytes of
// UTF-8). A longer last line could never reach the editor whole.
inline constexpr std::size_t longest_kept_line = 7 + 128 * 1024;

class LastLine {
 public:
  explicit LastLine(std::size_t limit = longest_kept_line) : limit_(limit) {}

  // Feeds decoded UTF-8 text; pieces hold whole code points.
  void feed(std::string_view text);
  // The last line (its first limit bytes when it is longer); nullopt when
  // the text held no line (it was empty).
  std::optional<std::string> last() const;
  // true when the last line is longer than the limit.
  bool last_too_long() const;

 private:
  // A line as far as it is kept: at most limit bytes, and whether more
  // came.
  struct Kept {
    std::string text;
    bool too_long = false;
  };
  void keep(Kept& line, std::string_view more) const;

  std::size_t limit_;
  Kept partial_;   // text after the last line end
  Kept complete_;  // the last line that ended
  bool have_complete_ = false;
  bool pending_cr_ = false;  // a CR ended the previous piece
};

// The heading of a last line: "header:" removed once from its front.
std::string heading_of(std::string_view last_line);

// The length of the line end that starts at text[at] (LF, CR, VT, FF,
// FS, GS, RS, and in UTF-8 NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR), or
// 0 when none does.
std::size_t line_end_at(std::string_view text, std::size_t at);

// Makes text one line: every line end above becomes one blank, in place.
// Returns the new length. Allocates nothing, so a crash report can use it.
std::size_t blank_line_ends(char* text, std::size_t length);

}  // namespace tolvane
