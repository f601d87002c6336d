#include "video/raw_frame_message.hpp"

#include <algorithm>

namespace lk {

namespace {

constexpr std::uint64_t kLargestPayload = 0xFFFF'FFFFu;
constexpr std::size_t kLargestSessionId = 0xFFFF;
constexpr std::uint32_t kLargestWidth = 0x3FFF'FFFF;  // width × 4 still fits 32 bits

// Writes `value` most significant byte first at `at`; returns the next position.
template <class Unsigned>
std::uint8_t* put_big_endian(std::uint8_t* at, Unsigned value) {
    for (std::size_t shift = sizeof(Unsigned) * 8; shift > 0; shift -= 8) {
        *at++ = static_cast<std::uint8_t>(value >> (shift - 8));
    }
    return at;
}

std::uint8_t* put_text(std::uint8_t* at, std::string_view text) {
    return std::copy(text.begin(), text.end(), at);
}

}  // namespace

Status build_raw_frame_message_prefix(std::vector<std::uint8_t>& out,
                                      const RawFrameMessageFields& fields) {
    if (fields.payload_length > kLargestPayload) {
        return fail("Raw frame payload is too large.");
    }
    if (fields.session_id.size() > kLargestSessionId) {
        return fail("Raw frame session id is too large.");
    }
    if (fields.width > kLargestWidth) {
        return fail("Raw frame pitch is too large.");
    }
    out.resize(kRawFrameHeaderLength + fields.session_id.size() + kRawFramePixelFormat.size());
    std::uint8_t* at = put_text(out.data(), kRawFrameMagic);
    at = put_big_endian(at, kRawFrameMessageVersion);
    at = put_big_endian(at, static_cast<std::uint16_t>(kRawFrameHeaderLength));
    at = put_big_endian(at, fields.frame_index);
    at = put_big_endian(at, fields.width);
    at = put_big_endian(at, fields.height);
    at = put_big_endian(at, fields.width * 4);
    at = put_big_endian(at, static_cast<std::uint16_t>(fields.session_id.size()));
    at = put_big_endian(at, static_cast<std::uint16_t>(kRawFramePixelFormat.size()));
    at = put_big_endian(at, static_cast<std::uint32_t>(fields.payload_length));
    at = put_text(at, fields.session_id);
    put_text(at, kRawFramePixelFormat);
    return {};
}

}  // namespace lk
