#include "common/utf8.hpp"

#include <cstddef>
#include <cstdint>

namespace lk {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence at `p`, or 0 when it is ill-formed. On
// failure `subpart` is the length of the maximal ill-formed prefix to replace.
std::size_t sequence_length(const std::uint8_t* p, std::size_t available, std::size_t& subpart) {
    const std::uint8_t lead = p[0];
    subpart = 1;
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? std::uint8_t{0xA0} : low;
        high = lead == 0xED ? std::uint8_t{0x9F} : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? std::uint8_t{0x90} : low;
        high = lead == 0xF4 ? std::uint8_t{0x8F} : high;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (k >= available) {
            return 0;
        }
        const std::uint8_t byte = p[k];
        const bool fits = k == 1 ? (byte >= low && byte <= high) : (byte & 0xC0) == 0x80;
        if (!fits) {
            return 0;
        }
        subpart = k + 1;
    }
    return length;
}

// Code point of the well-formed sequence of `length` bytes at `p`.
char32_t decode(const std::uint8_t* p, std::size_t length) {
    if (length == 1) {
        return p[0];
    }
    char32_t value = p[0] & (0xFFu >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        value = (value << 6) | (p[k] & 0x3Fu);
    }
    return value;
}

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Byte length of the white-space character that starts the text, or 0.
std::size_t leading_white_space(std::string_view text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t subpart = 0;
    const std::size_t length = sequence_length(p, text.size(), subpart);
    return length != 0 && is_white_space(decode(p, length)) ? length : 0;
}

// Byte length of the white-space character that ends the text, or 0.
std::size_t trailing_white_space(std::string_view text) {
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data() + start);
    std::size_t subpart = 0;
    const std::size_t length = sequence_length(p, text.size() - start, subpart);
    if (length == 0 || start + length != text.size()) {
        return 0;
    }
    return is_white_space(decode(p, length)) ? length : 0;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) noexcept {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Fast path over ASCII, eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            __builtin_memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) != 0) {
                break;
            }
            i += 8;
        }
        if (i >= n) {
            break;
        }
        std::size_t subpart = 0;
        const std::size_t length = sequence_length(p + i, n - i, subpart);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string utf8_lossy(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t subpart = 0;
        const std::size_t length = sequence_length(p + i, bytes.size() - i, subpart);
        if (length == 0) {
            text.append(kReplacement);
            i += subpart;
        } else {
            text.append(bytes.substr(i, length));
            i += length;
        }
    }
    return text;
}

std::string_view trim_white_space(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = leading_white_space(text);
        if (length == 0) {
            break;
        }
        text.remove_prefix(length);
    }
    while (!text.empty()) {
        const std::size_t length = trailing_white_space(text);
        if (length == 0) {
            break;
        }
        text.remove_suffix(length);
    }
    return text;
}

}  // namespace lk
