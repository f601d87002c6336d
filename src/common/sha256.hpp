#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/error.hpp"

namespace lk {

// SHA-256 as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::span<const std::uint8_t> bytes);

// SHA-256 of a file's content, read in 64 KiB chunks.
Result<std::string> sha256_file_hex(const std::string& path);

}  // namespace lk
