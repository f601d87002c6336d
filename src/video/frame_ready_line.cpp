#include "video/frame_ready_line.hpp"

#include <fmt/format.h>

#include "common/base64.hpp"
#include "common/utf8.hpp"

namespace lk {

namespace {

constexpr std::string_view kPrefix = R"({"name":"frameReady","payload":{"dataUrl":")";
constexpr std::string_view kDataUrlScheme = "data:image/png;base64,";

void append_escaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\b':
                out.append("\\b");
                break;
            case '\f':
                out.append("\\f");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            default:
                if (byte < 0x20) {
                    out.append("\\u00");
                    out.push_back(kHex[byte >> 4]);
                    out.push_back(kHex[byte & 0xF]);
                } else {
                    out.push_back(c);
                }
        }
    }
}

void append_number(std::string& out, std::uint64_t value) {
    fmt::format_to(std::back_inserter(out), "{}", value);
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    out.push_back('"');
    if (is_valid_utf8(text)) {
        append_escaped(out, text);
    } else {
        append_escaped(out, utf8_lossy(text));
    }
    out.push_back('"');
}

void build_frame_ready_line(std::string& line, const FrameReadyFields& fields) {
    line.clear();
    // The Base64 text dominates; reserve it and the fixed parts at once so the
    // buffer grows at most once per frame size.
    line.reserve(kPrefix.size() + kDataUrlScheme.size() + base64_encoded_size(fields.png.size()) +
                 fields.pixel_format.size() + fields.session_id.size() + 160);
    line.append(kPrefix);
    line.append(kDataUrlScheme);
    append_base64(line, fields.png);
    line.append(R"(","frameIndex":)");
    append_number(line, fields.frame_index);
    line.append(R"(,"height":)");
    append_number(line, fields.height);
    line.append(R"(,"pixelFormat":)");
    append_json_string(line, fields.pixel_format);
    line.append(R"(,"sessionId":)");
    append_json_string(line, fields.session_id);
    line.append(R"(,"transport":"png-data-url","width":)");
    append_number(line, fields.width);
    line.append("}}");
}

}  // namespace lk
