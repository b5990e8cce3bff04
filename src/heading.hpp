// The converter's output protocol: its text is split into lines and only
// the last one counts, "header:" followed by the heading. LastLine keeps
// that line alone, so memory stays flat however long the output runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

class LastLine {
 public:
  // Feeds decoded UTF-8 text; pieces hold whole code points.
  void feed(std::string_view text);
  // The last line; nullopt when the text held no line (it was empty).
  std::optional<std::string> last() const;

 private:
  std::string partial_;   // text after the last line end
  std::string complete_;  // the last line that ended
  bool have_complete_ = false;
  bool pending_cr_ = false;  // a CR ended the previous piece
};

// The heading of a last line: "header:" removed once from its front.
std::string heading_of(std::string_view last_line);

}  // namespace tolvane
