#pragma once

#include <string>
#include <string_view>

namespace lk {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates,
// nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes) noexcept;

// The bytes as UTF-8, each ill-formed sequence (its maximal subpart) replaced
// by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

// The UTF-8 text without leading and trailing Unicode white space.
std::string_view trim_white_space(std::string_view text);

}  // namespace lk
