#pragma once

// Text handling for option declarations: cores hand over C strings of any
// bytes, the runner keeps UTF-8 and compares trimmed pieces.

#include <optional>
#include <string>
#include <string_view>

namespace lk {

// The bytes as UTF-8, each ill-formed sequence (its maximal subpart) replaced
// by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

// A core's C string as UTF-8 (see utf8_lossy); nothing for NULL.
std::optional<std::string> core_text(const char* text);

// The text without leading and trailing Unicode white space.
std::string_view trim_white_space(std::string_view text);

}  // namespace lk
