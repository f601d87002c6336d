#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "common/error.hpp"
#include "runtime_assets/system_asset_layout.hpp"

namespace lk {

// Finds a core's staged system asset tree among candidate directories and
// copies it into a session's system directory unless an installed copy is
// already there. An installer is made for each game load and keeps nothing
// between loads; it takes no locks and assumes that nothing else changes the
// system directory while it runs.
class SystemAssetInstaller {
  public:
    SystemAssetInstaller(const SystemAssetLayout& layout,
                         std::vector<std::filesystem::path> source_candidates);

    // The candidates in search order: the layout's environment variable when
    // set (read now; an empty value names the working directory), the staged
    // directory beside the executable and one level up (when the executable's
    // path is known), under "apps/desktop/build/resources", under
    // "native/runner", then the core build directory. Paths are joined, never
    // normalised.
    static std::vector<std::filesystem::path> default_candidates(
        const SystemAssetLayout& layout,
        const std::optional<std::filesystem::path>& executable_path);

    [[nodiscard]] const std::vector<std::filesystem::path>& source_candidates() const {
        return source_candidates_;
    }

    // The staged tree: the first probe of the first candidate that holds the
    // marker.
    [[nodiscard]] std::optional<std::filesystem::path> find_source() const;

    // Installs the staged tree below `system_directory` unless the marker
    // shows an installed copy. A tree without its marker is removed whole and
    // copied again. Fails with the layout's "not found" message (kind
    // not_found, the system directory untouched) when no candidate holds the
    // tree, and with the system's error when creating, removing or copying
    // fails (a failed copy is not rolled back).
    [[nodiscard]] Status ensure_installed(const std::filesystem::path& system_directory) const;

  private:
    [[nodiscard]] Error not_found_error() const;

    const SystemAssetLayout* layout_;
    std::vector<std::filesystem::path> source_candidates_;
};

}  // namespace lk
