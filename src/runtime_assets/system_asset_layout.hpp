#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace lk {

// What a marker of an installed tree must be.
enum class AssetMarkerKind { directory, regular_file };

// Where one core's system asset tree is staged, how it is recognised and where
// it is installed. Every path here is relative.
struct SystemAssetLayout {
    // Names a staged tree that is searched before all others.
    const char* environment_variable;
    // The staged tree, looked for beside the executable, one level above it,
    // under "apps/desktop/build/resources" and under "native/runner".
    std::filesystem::path staged_directory;
    // The last candidate, relative to the working directory.
    std::filesystem::path core_build_directory;
    // A file or directory whose presence means "this tree is complete".
    std::filesystem::path marker;
    AssetMarkerKind marker_kind;
    // Where within a candidate the tree may lie (probed in this order; the
    // empty path is the candidate itself).
    std::vector<std::filesystem::path> source_probes;
    // The installed tree, relative to the system directory. The marker is
    // looked for inside it.
    std::filesystem::path installed_tree;
    // When not empty, only this subdirectory of the source is copied, to the
    // same place inside the installed tree; otherwise the whole source.
    std::filesystem::path copied_subdirectory;
    // When not empty, a directory below the system directory created on every
    // installation, installed or not.
    std::filesystem::path created_directory;
    // The message when no candidate holds the tree; "{variable}" and
    // "{searched}" are replaced.
    std::string_view not_found_message;
};

}  // namespace lk
