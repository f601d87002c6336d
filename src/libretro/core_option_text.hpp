#pragma once

// Text handling for option declarations: cores hand over C strings of any
// bytes, the runner keeps UTF-8 and compares trimmed pieces.

#include <optional>
#include <string>
#include <string_view>

#include "common/utf8.hpp"

namespace lk {

// A core's C string as UTF-8 (see utf8_lossy); nothing for NULL.
std::optional<std::string> core_text(const char* text);

}  // namespace lk
