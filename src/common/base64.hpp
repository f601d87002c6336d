#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lk {

// Length of the standard Base64 text (RFC 4648 alphabet, "=" padding) for
// `byte_count` input bytes.
constexpr std::size_t base64_encoded_size(std::size_t byte_count) {
    return (byte_count + 2) / 3 * 4;
}

// Appends the standard Base64 text of `bytes` to `out`. Grows `out` once; no
// per-byte allocation. Used for PNG data URLs, which are several hundred KB
// per frame.
void append_base64(std::string& out, std::span<const std::uint8_t> bytes);

}  // namespace lk
