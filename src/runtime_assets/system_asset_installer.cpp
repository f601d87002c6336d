#include "runtime_assets/system_asset_installer.hpp"

#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "common/environment.hpp"
#include "common/utf8.hpp"
#include "runtime_assets/copy_directory_recursive.hpp"

namespace lk {

namespace fs = std::filesystem;

namespace {

bool marker_present(const fs::path& path, AssetMarkerKind kind) {
    std::error_code error;
    return kind == AssetMarkerKind::directory ? fs::is_directory(path, error)
                                              : fs::is_regular_file(path, error);
}

// `base` / `relative`, or `base` itself for an empty relative path (joining
// an empty path would add a trailing separator).
fs::path below(const fs::path& base, const fs::path& relative) {
    return relative.empty() ? base : base / relative;
}

}  // namespace

SystemAssetInstaller::SystemAssetInstaller(const SystemAssetLayout& layout,
                                           std::vector<fs::path> source_candidates)
    : layout_(&layout), source_candidates_(std::move(source_candidates)) {}

std::vector<fs::path> SystemAssetInstaller::default_candidates(
    const SystemAssetLayout& layout, const std::optional<fs::path>& executable_path) {
    std::vector<fs::path> candidates;
    if (std::optional<std::string> value = read_env_bytes(layout.environment_variable)) {
        candidates.emplace_back(std::move(*value));
    }
    if (executable_path && executable_path->has_parent_path()) {
        const fs::path directory = executable_path->parent_path();
        candidates.push_back(directory / layout.staged_directory);
        candidates.push_back(directory / ".." / layout.staged_directory);
    }
    candidates.push_back(fs::path("apps") / "desktop" / "build" / "resources" /
                         layout.staged_directory);
    candidates.push_back(fs::path("native") / "runner" / layout.staged_directory);
    candidates.push_back(layout.core_build_directory);
    return candidates;
}

std::optional<fs::path> SystemAssetInstaller::find_source() const {
    for (const fs::path& candidate : source_candidates_) {
        for (const fs::path& probe : layout_->source_probes) {
            fs::path source = below(candidate, probe);
            if (marker_present(below(source, layout_->marker), layout_->marker_kind)) {
                return source;
            }
        }
    }
    return std::nullopt;
}

Status SystemAssetInstaller::ensure_installed(const fs::path& system_directory) const {
    const std::optional<fs::path> source = find_source();
    if (!source) {
        return fail(not_found_error());
    }
    std::error_code error;
    if (!layout_->created_directory.empty()) {
        fs::create_directories(system_directory / layout_->created_directory, error);
        if (error) {
            return fail(Error::from_error_code(error));
        }
    }
    const fs::path installed = system_directory / layout_->installed_tree;
    if (marker_present(installed / layout_->marker, layout_->marker_kind)) {
        return {};
    }
    const fs::path target = below(installed, layout_->copied_subdirectory);
    // Whatever is there, a dangling link included, goes; a target whose
    // metadata cannot be read counts as absent.
    if (fs::symlink_status(target, error).type() != fs::file_type::not_found && !error) {
        fs::remove_all(target, error);
        if (error) {
            return fail(Error::from_error_code(error));
        }
    }
    return copy_directory_recursive(below(*source, layout_->copied_subdirectory), target);
}

Error SystemAssetInstaller::not_found_error() const {
    std::string searched;
    for (const fs::path& candidate : source_candidates_) {
        if (!searched.empty()) {
            searched.append(", ");
        }
        searched.append(utf8_lossy(candidate.native()));
    }
    return Error(fmt::format(fmt::runtime(layout_->not_found_message),
                             fmt::arg("variable", layout_->environment_variable),
                             fmt::arg("searched", searched)),
                 ErrorKind::not_found);
}

}  // namespace lk
