#include "video/raw_frame_message.hpp"

namespace lk {

namespace {

constexpr std::uint64_t kLargestPayload = 0xFFFF'FFFFu;
constexpr std::size_t kLargestSessionId = 0xFFFF;
constexpr std::uint32_t kLargestWidth = 0x3FFF'FFFF;  // width × 4 still fits 32 bits

template <class Unsigned>
void append_big_endian(std::vector<std::uint8_t>& out, Unsigned value) {
    for (std::size_t shift = sizeof(Unsigned) * 8; shift > 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> (shift - 8)));
    }
}

void append_text(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
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
    out.clear();
    append_text(out, kRawFrameMagic);
    append_big_endian(out, kRawFrameMessageVersion);
    append_big_endian(out, static_cast<std::uint16_t>(kRawFrameHeaderLength));
    append_big_endian(out, fields.frame_index);
    append_big_endian(out, fields.width);
    append_big_endian(out, fields.height);
    append_big_endian(out, fields.width * 4);
    append_big_endian(out, static_cast<std::uint16_t>(fields.session_id.size()));
    append_big_endian(out, static_cast<std::uint16_t>(kRawFramePixelFormat.size()));
    append_big_endian(out, static_cast<std::uint32_t>(fields.payload_length));
    append_text(out, fields.session_id);
    append_text(out, kRawFramePixelFormat);
    return {};
}

}  // namespace lk
