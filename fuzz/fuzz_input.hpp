// How the fuzz targets read their input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane::fuzz {

// The pieces of text between NUL bytes (one piece for text without any).
inline std::vector<std::string> split_at_nul(std::string_view text) {
  std::vector<std::string> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\0', start);
    pieces.emplace_back(
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

}  // namespace tolvane::fuzz
