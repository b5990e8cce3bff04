// What Windows error codes mean to the launcher, kept apart from the
// Windows platform file so that every host can test it: the kind of
// failure a code stands for, and which codes say that a volume cannot
// report a final path.
#pragma once

#include <cstdint>

namespace tolvane::windows_errors {

// The codes by their <winerror.h> names; platform-win32.cpp checks them.
inline constexpr std::uint32_t invalid_function = 1;
inline constexpr std::uint32_t file_not_found = 2;
inline constexpr std::uint32_t path_not_found = 3;
inline constexpr std::uint32_t access_denied = 5;
inline constexpr std::uint32_t invalid_drive = 15;
inline constexpr std::uint32_t not_supported = 50;
inline constexpr std::uint32_t bad_netpath = 53;
inline constexpr std::uint32_t invalid_parameter = 87;
inline constexpr std::uint32_t broken_pipe = 109;
inline constexpr std::uint32_t mod_not_found = 126;
inline constexpr std::uint32_t no_data = 232;
inline constexpr std::uint32_t directory = 267;
inline constexpr std::uint32_t unrecognized_volume = 1005;

// The failure kind that a code stands for ("FileNotFoundError", ...).
const char* kind_of(std::uint32_t code);

// true when the code means that the file system cannot report a final
// path at all (RAM disks, some network redirectors), as opposed to a
// failure of this one path: the absolute path then stands in for it.
bool cannot_report_final_path(std::uint32_t code);

}  // namespace tolvane::windows_errors
