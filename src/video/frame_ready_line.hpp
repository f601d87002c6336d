#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace lk {

// What one "frameReady" event carries besides its fixed transport.
struct FrameReadyFields {
    std::span<const std::uint8_t> png;  // the complete PNG file
    std::uint64_t frame_index = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::string_view pixel_format;
    std::string_view session_id;
};

// Writes the whole envelope
// {"name":"frameReady","payload":{"dataUrl":"data:image/png;base64,…","frameIndex":…,
//  "height":…,"pixelFormat":…,"sessionId":…,"transport":"png-data-url","width":…}}
// into `line` (no newline), replacing what it held but keeping its capacity,
// so a worker that reuses one buffer allocates only when frames grow. Built by
// hand because a JSON DOM costs far more than the Base64 text for large frames;
// text fields are escaped exactly as the event writer escapes them.
void build_frame_ready_line(std::string& line, const FrameReadyFields& fields);

// Appends `text` as a JSON string literal (quotes included): '"' and '\\'
// escaped, control characters as \b \f \n \r \t or \u00XX, anything else
// unchanged; ill-formed UTF-8 becomes U+FFFD.
void append_json_string(std::string& out, std::string_view text);

}  // namespace lk
