#include "common/environment.hpp"

#include <cstdlib>

#include "common/utf8.hpp"

namespace lk {

std::optional<std::string> read_env_bytes(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::string> read_env_text(const char* name) {
    auto value = read_env_bytes(name);
    if (!value || !is_valid_utf8(*value)) {
        return std::nullopt;
    }
    return value;
}

bool env_switch_is_on(const char* name, std::initializer_list<std::string_view> accepted) {
    const auto value = read_env_text(name);
    if (!value) {
        return false;
    }
    for (std::string_view candidate : accepted) {
        if (*value == candidate) {
            return true;
        }
    }
    return false;
}

}  // namespace lk
