#include "cores/core_bundle_resolver.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "common/environment.hpp"

namespace lk {

namespace {

bool is_regular_file(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string join_path(const std::string& directory, const std::string& name) {
    return (std::filesystem::path(directory) / name).string();
}

std::optional<std::string> executable_directory() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return std::nullopt;
    }
    return std::filesystem::path(std::string(buffer, static_cast<std::size_t>(length)))
        .parent_path()
        .string();
}

}  // namespace

std::string core_library_file_name(std::string_view core_id) {
    std::string name(core_id);
    for (char& c : name) {
        if (c == '-') {
            c = '_';
        }
    }
    return name + "_libretro.so";
}

std::vector<std::string> default_core_bundle_directories() {
    std::vector<std::string> directories;
    if (const auto configured = read_env_bytes("LUMENKITE_CORE_BUNDLE_DIR")) {
        std::string_view rest = *configured;
        for (;;) {
            const auto separator = rest.find(':');
            directories.emplace_back(rest.substr(0, separator));
            if (separator == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(separator + 1);
        }
    }
    if (const auto exe_dir = executable_directory()) {
        directories.push_back(join_path(*exe_dir, "cores"));
        directories.push_back(join_path(*exe_dir, "../Resources/cores"));
    }
    directories.emplace_back("cores");
    return directories;
}

FilesystemCoreBundleResolver::FilesystemCoreBundleResolver(std::vector<std::string> directories)
    : directories_(std::move(directories)) {}

Result<std::string> FilesystemCoreBundleResolver::resolve_core_binary(
    std::string_view core_id, std::string_view platform_id) const {
    const std::string file_name = core_library_file_name(core_id);
    std::vector<std::string> candidates;
    candidates.reserve(directories_.size());
    for (const auto& directory : directories_) {
        candidates.push_back(join_path(directory, file_name));
        if (is_regular_file(candidates.back())) {
            return candidates.back();
        }
    }
    return fail(fmt::format("Core binary not found for {}/{}: {}. Searched: {}. Build/package "
                            "cores or set LUMENKITE_CORE_BUNDLE_DIR.",
                            core_id, platform_id, file_name, fmt::join(candidates, ", ")),
                ErrorKind::not_found);
}

}  // namespace lk
