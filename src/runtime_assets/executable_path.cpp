#include "runtime_assets/executable_path.hpp"

#include <system_error>

namespace lk {

std::optional<std::filesystem::path> current_executable_path() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) {
        return std::nullopt;
    }
    return path;
}

}  // namespace lk
