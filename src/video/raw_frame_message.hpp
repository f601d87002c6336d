#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/error.hpp"

namespace lk {

// One message of the raw frame stream: a 36-byte header (all integers
// big-endian), the session id, the pixel format label "rgba8888", then the
// pixels as tightly packed RGBA rows.
//
//   0  "LKRF"            16  width              30  label length (8)
//   4  version (1)       20  height             32  payload length
//   6  header length     24  stride (width × 4)  36  session id, label, pixels
//   8  frame index       28  session id length
inline constexpr std::size_t kRawFrameHeaderLength = 36;
inline constexpr std::uint16_t kRawFrameMessageVersion = 1;
inline constexpr std::string_view kRawFrameMagic = "LKRF";
inline constexpr std::string_view kRawFramePixelFormat = "rgba8888";

struct RawFrameMessageFields {
    std::uint64_t frame_index = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::string_view session_id;
    std::uint64_t payload_length = 0;  // bytes of RGBA that follow the label
};

// Writes the header, the session id and the label into `out` (replacing what
// it held, keeping its capacity). Fails before writing anything when a field
// does not fit its header slot: "Raw frame payload is too large." (2^32 bytes
// or more), "Raw frame session id is too large." (65536 bytes or more) or
// "Raw frame pitch is too large." (width × 4 beyond 32 bits).
Status build_raw_frame_message_prefix(std::vector<std::uint8_t>& out,
                                      const RawFrameMessageFields& fields);

}  // namespace lk
