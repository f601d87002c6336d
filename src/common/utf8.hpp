#pragma once

#include <string_view>

namespace lk {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates,
// nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes) noexcept;

}  // namespace lk
