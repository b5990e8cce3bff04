// Joins an argument vector into one Windows command line by the rules the
// Microsoft C runtime uses to split it again, so every element arrives as
// exactly one argument. Pure, so it is tested on every host.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Quoted when empty or holding a blank or tab; a quote is escaped with a
// backslash; backslashes are doubled only before a quote (the closing one
// included). Never a doubled quote.
std::string quote_argument(std::string_view arg);

// CreateProcessW takes 32767 UTF-16 units with the terminator. Wine cuts a
// longer command line silently instead of refusing it, so the launcher
// checks the length itself.
inline constexpr std::size_t longest_command_line = 32766;

std::string join_command_line(const std::vector<std::string>& argv);

}  // namespace tolvane
