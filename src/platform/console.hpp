// The standard streams and the environment.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../failure.hpp"

namespace tolvane::platform {

enum class Stream { out, err };

// Writes UTF-8 text whose lines end in "\n", with the platform's line
// break. A console gets the wide console API; a pipe or file gets UTF-8.
// What the system said when the stream refused the text (a full disk, a
// closed pipe).
std::optional<SystemError> write_text(Stream stream, std::string_view text);
// The same for text that has nowhere else to go: a refusal is ignored.
// Allocates nothing, so that a crash can be reported with it.
void write_text_if_possible(Stream stream, std::string_view text) noexcept;

// The width of the console that standard output is, if it is one.
std::optional<int> console_width();
std::optional<std::string> environment(const char* name);
// Sets a variable of the process's environment, which the children it
// starts from now on inherit; nullopt removes it.
std::optional<SystemError> set_environment(const char* name,
                                           const std::optional<std::string>& value);

}  // namespace tolvane::platform
