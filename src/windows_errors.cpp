#include "windows_errors.hpp"

#include "failure.hpp"

namespace tolvane::windows_errors {

const char* kind_of(std::uint32_t code) {
  switch (code) {
    case file_not_found:
    case path_not_found:
    case invalid_drive:
    case bad_netpath: return kind::not_found;
    case directory: return kind::not_a_directory;
    case access_denied: return kind::permission;
    case broken_pipe:
    case no_data: return kind::broken_pipe;
    default: return kind::system;
  }
}

bool cannot_report_final_path(std::uint32_t code, FinalPathStep step) {
  switch (code) {
    case invalid_function:
    case not_supported:
    case invalid_parameter:
    case unrecognized_volume: return true;
    case path_not_found:  // the file is there, but its volume has no drive letter
    case more_data: return step == FinalPathStep::query;
    default: return false;
  }
}

}  // namespace tolvane::windows_errors
