// The libraries that a Windows program or DLL imports, as the import table
// of its file names them: read from the file's bytes alone, so that any
// host can test it. The launcher uses it to name the library that a
// module cannot be loaded without, which Windows' own error does not.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// The names in image's import table, in its order; empty for bytes that
// are no PE image, or whose table lies outside them.
std::vector<std::string> imported_libraries(std::string_view image);

}  // namespace tolvane
