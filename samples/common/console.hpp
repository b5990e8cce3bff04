// Console and path helpers shared by the stand-in components. Text is
// UTF-8 everywhere inside; conversion happens only at the edges.
#pragma once

#include <filesystem>
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

std::filesystem::path to_path(const std::string& utf8);
std::string from_path(const std::filesystem::path& path);

#if defined(_WIN32)
std::string utf8_from_wide(std::wstring_view wide);
std::wstring wide_from_utf8(std::string_view utf8);
#endif

// The tool executables' body; element 0 is the program as started.
int tool_main(const std::vector<std::string>& args);

}  // namespace samples
