// Reading an input deck and finding its heading.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "console.hpp"

namespace samples {

// The file's bytes; throws std::runtime_error carrying the system's reason.
std::string read_bytes(const std::string& path);

// The heading of a FrontISTR deck (first line after "!HEADER") or of an
// Abaqus-style deck (first line after "*HEADING"). Blank and comment lines
// in between are skipped; a keyword line there, or no such section at all,
// gives the empty text. Only the line end is trimmed.
std::string find_heading(std::string_view deck);

std::size_t count_lines(std::string_view deck);

// The deck path less its final ".inp"; empty when it has none.
std::string model_path(const std::string& deck);

// Reads the deck, creates its model folder and reports progress.
// Returns the heading, or nothing after a message on standard error.
std::optional<std::string> convert_deck(const std::string& deck, Encoding encoding);

}  // namespace samples
