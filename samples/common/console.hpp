// Console helpers shared by the stand-in components. Text is UTF-8
// everywhere inside, as the launcher passes it (a lone surrogate of a
// Windows name in its generalized UTF-8 form); conversion happens only at
// the edges, and files are opened and named through tolvane_fopen and
// tolvane::component::fs_path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace samples {

enum class Stream { out, err };

// How a line is encoded for a pipe or a file. A console always gets
// Unicode; natively both choices mean UTF-8.
enum class Encoding { utf8, ansi };

// Writes text and a line feed to the stream and flushes it.
void print_line(Stream stream, std::string_view text, Encoding encoding = Encoding::utf8);

#if defined(_WIN32)
// As the launcher encodes Windows text: a lone surrogate survives.
std::string utf8_from_wide(std::wstring_view wide);
#endif

// The tool executables' body; element 0 is the program as started.
int tool_main(const std::vector<std::string>& args);

}  // namespace samples
