#pragma once

#include <filesystem>

#include "common/error.hpp"

namespace lk {

// Copies the tree at `source` into `target`, creating `target` and its missing
// parents. Directories and regular files are found with symbolic links
// followed; files replace files already at their destination and keep their
// permission bits; anything else (dangling links, sockets, devices) is
// skipped. Entries are taken in listing order, and the first error ends the
// copy and is returned as the system reported it; what was copied stays.
//
// A directory that contains itself through a symbolic link, or a target that
// lies inside the source, would make the copy endless: both fail with
// "Directory loop while copying system assets: {path}." instead.
Status copy_directory_recursive(const std::filesystem::path& source,
                                const std::filesystem::path& target);

}  // namespace lk
