// What the POSIX files of the platform layer share: what the system said
// of a failed call.
#pragma once

#include <string>

#include "../failure.hpp"

namespace tolvane::platform::posix {

// A failed call as every POSIX file gives it: the API, errno, the
// system's own text, and the reason that errno stands for.
SystemError error(std::string api, int code);

}  // namespace tolvane::platform::posix
