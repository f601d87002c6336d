#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/json.hpp"

namespace lk::test {

inline constexpr std::string_view kPngDataUrlPrefix = "data:image/png;base64,";

// Standard Base64 decoded with OpenSSL (an implementation independent of
// ours); empty with a failure recorded when the text is malformed.
inline std::vector<std::uint8_t> decode_base64(std::string_view text) {
    if (text.size() % 4 != 0) {
        ADD_FAILURE() << "Base64 length " << text.size() << " is not a multiple of 4";
        return {};
    }
    std::vector<std::uint8_t> out(text.size() / 4 * 3);
    const int decoded =
        EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
    if (decoded < 0) {
        ADD_FAILURE() << "malformed Base64";
        return {};
    }
    std::size_t size = static_cast<std::size_t>(decoded);
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) {
        --size;
    }
    out.resize(size);
    return out;
}

// The keys of a JSON object in the order they were written.
inline std::vector<std::string> keys_of(const OrderedJson& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    return keys;
}

// The PNG file inside a frameReady payload's data URL.
inline std::vector<std::uint8_t> png_of(const OrderedJson& payload) {
    const std::string url = payload.at("dataUrl").get<std::string>();
    if (!url.starts_with(kPngDataUrlPrefix)) {
        ADD_FAILURE() << "not a PNG data URL: " << url.substr(0, 40);
        return {};
    }
    return decode_base64(std::string_view(url).substr(kPngDataUrlPrefix.size()));
}

}  // namespace lk::test
