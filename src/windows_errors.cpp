#include "windows_errors.hpp"

namespace tolvane::windows_errors {

SystemError::Reason reason_of(std::uint32_t code) {
  switch (code) {
    case file_not_found:
    case path_not_found:
    case invalid_drive:
    case bad_netpath: return SystemError::Reason::not_found;
    case directory: return SystemError::Reason::not_a_folder;
    case access_denied: return SystemError::Reason::permission;
    case broken_pipe:
    case no_data: return SystemError::Reason::broken_pipe;
    default: return SystemError::Reason::other;
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
