// The current folder and the path queries that read the file system.
#pragma once

#include <optional>
#include <string>

#include "../failure.hpp"
#include "../paths.hpp"

namespace tolvane::platform {

// The platform's own flavour of the path operations in paths.hpp.
extern const paths::Flavour path_flavour;

SystemResult<std::string> current_folder();
std::optional<SystemError> change_folder(const std::string& path);
// Text normalisation, then the platform's full-path operation. Nothing on
// disk is read.
SystemResult<std::string> absolute_path(const std::string& path);
// The final path as the file system reports it, links resolved; the
// absolute path on a volume that cannot report one.
SystemResult<std::string> final_path(const std::string& path);
// The short (8.3) spelling where the volume keeps one, else the path.
std::string short_path(const std::string& path);
// Whether path names a file, or a folder, that is there (links
// followed); false when it cannot be told.
bool is_file(const std::string& path);
bool is_folder(const std::string& path);

}  // namespace tolvane::platform
