#include "libretro/core_option_text.hpp"

namespace lk {

std::optional<std::string> core_text(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return utf8_lossy(text);
}

}  // namespace lk
