// What Windows error codes mean to the launcher, kept apart from the
// Windows platform file so that every host can test it: what a code
// stands for, and which codes say that a volume cannot report a final
// path.
#pragma once

#include <cstdint>

#include "failure.hpp"

namespace tolvane::windows_errors {

// The codes by their <winerror.h> names; support-win32.cpp checks
// them against the header.
enum Code : std::uint32_t {
  invalid_function = 1,
  file_not_found = 2,
  path_not_found = 3,
  access_denied = 5,
  invalid_drive = 15,
  not_supported = 50,
  bad_netpath = 53,
  invalid_parameter = 87,
  broken_pipe = 109,
  no_data = 232,
  more_data = 234,
  directory = 267,
  unrecognized_volume = 1005,
};

// What a code stands for, as far as the launcher tells codes apart.
SystemError::Reason reason_of(std::uint32_t code);

// Which step of the final-path query failed: opening the file, or asking
// for the final path of the file once open.
enum class FinalPathStep { open, query };

// true when the code means that the file system cannot report a final
// path at all (RAM disks, some network redirectors), that the open file
// has no path with a drive letter (a volume mounted on a folder only), or
// that its answer never fits (Wine, for a path longer than MAX_PATH), as
// opposed to a failure of this one path: the absolute path then stands in
// for the final one.
bool cannot_report_final_path(std::uint32_t code, FinalPathStep step);

}  // namespace tolvane::windows_errors
