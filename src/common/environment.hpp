#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace lk {

// The variable's value when it is set and valid UTF-8; otherwise nothing.
std::optional<std::string> read_env_text(const char* name);

// The variable's raw bytes when it is set (any bytes the system allows).
std::optional<std::string> read_env_bytes(const char* name);

// True when the variable holds exactly one of the accepted values
// (byte-wise, case-sensitive, no trimming).
bool env_switch_is_on(const char* name, std::initializer_list<std::string_view> accepted);

}  // namespace lk
