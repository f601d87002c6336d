#include "libretro/system_info.hpp"

#include <utility>

#include "common/utf8.hpp"

namespace lk {

Result<std::optional<std::string>> ptr_to_string(const char* pointer) {
    if (pointer == nullptr) {
        return std::optional<std::string>{};
    }
    std::string_view bytes(pointer);
    if (!is_valid_utf8(bytes)) {
        return fail("core returned non UTF-8 string", ErrorKind::invalid_data);
    }
    return std::optional<std::string>(std::string(bytes));
}

std::vector<std::string> split_valid_extensions(std::string_view text) {
    std::vector<std::string> pieces;
    while (true) {
        const auto bar = text.find('|');
        const auto piece = text.substr(0, bar);
        if (!piece.empty()) {
            pieces.emplace_back(piece);
        }
        if (bar == std::string_view::npos) {
            return pieces;
        }
        text.remove_prefix(bar + 1);
    }
}

Result<SystemInfo> SystemInfo::from_raw(const retro::SystemInfo& raw) {
    auto name = ptr_to_string(raw.library_name);
    if (!name) {
        return fail(std::move(name.error()));
    }
    auto version = ptr_to_string(raw.library_version);
    if (!version) {
        return fail(std::move(version.error()));
    }
    auto extensions = ptr_to_string(raw.valid_extensions);
    if (!extensions) {
        return fail(std::move(extensions.error()));
    }
    SystemInfo info;
    info.library_name = name->value_or("unknown");
    info.library_version = std::move(*version);
    if (extensions->has_value()) {
        info.valid_extensions = split_valid_extensions(**extensions);
    }
    info.need_fullpath = raw.need_fullpath;
    info.block_extract = raw.block_extract;
    return info;
}

}  // namespace lk
