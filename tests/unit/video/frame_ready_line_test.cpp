#include "video/frame_ready_line.hpp"

#include <array>

#include <gtest/gtest.h>

#include "frame_ready_test_support.hpp"
#include "protocol/stdout_runner_event_emitter.hpp"

namespace lk {
namespace {

// The same event built through the JSON library, as any other event is.
std::string through_json_library(const FrameReadyFields& fields, const std::string& data_url) {
    OrderedJson payload;
    payload["dataUrl"] = data_url;
    payload["frameIndex"] = fields.frame_index;
    payload["height"] = fields.height;
    payload["pixelFormat"] = std::string(fields.pixel_format);
    payload["sessionId"] = std::string(fields.session_id);
    payload["transport"] = "png-data-url";
    payload["width"] = fields.width;
    return serialize_event_envelope("frameReady", payload);
}

TEST(FrameReadyLine, MatchesTheJsonLibraryForAnyTextAndPayloadSize) {
    struct Case {
        std::string session_id;
        std::size_t png_size;
    };
    const Case cases[] = {
        {"request-1", 0},
        {"request-1", 1},
        {"request-1", 2},
        {"request-1", 3},
        {"quote\" back\\slash /slash", 100},
        {std::string("ctl\b\f\n\r\t\x01\x1f\x7f end\0z", 17), 5},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xAE", 4},
        {"", 64},
    };
    // One buffer for every case: a longer earlier line must leave no trace.
    std::string line(5000, 'x');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.session_id);
        std::vector<std::uint8_t> png(c.png_size);
        for (std::size_t i = 0; i < png.size(); ++i) {
            png[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
        const FrameReadyFields fields{
            .png = png,
            .frame_index = 18'446'744'073'709'551'615u,
            .width = 640,
            .height = 4'294'967'295u,
            .pixel_format = "xrgb8888",
            .session_id = c.session_id,
        };
        build_frame_ready_line(line, fields);

        const OrderedJson parsed = OrderedJson::parse(line);
        const std::vector<std::uint8_t> decoded = test::png_of(parsed.at("payload"));
        EXPECT_EQ(decoded, png);
        EXPECT_EQ(line, through_json_library(fields, parsed.at("payload").at("dataUrl")));
        EXPECT_EQ(parsed.at("payload").at("sessionId"), c.session_id);
        EXPECT_EQ(test::keys_of(parsed.at("payload")),
                  (std::vector<std::string>{"dataUrl", "frameIndex", "height", "pixelFormat",
                                            "sessionId", "transport", "width"}));
    }
}

TEST(FrameReadyLine, IllFormedUtf8BecomesReplacementCharacters) {
    std::string line;
    const std::array<std::uint8_t, 3> png{1, 2, 3};
    build_frame_ready_line(line, FrameReadyFields{.png = png,
                                                  .frame_index = 7,
                                                  .width = 1,
                                                  .height = 1,
                                                  .pixel_format = "rgb\xFF",
                                                  .session_id = "a\xC3(b\xED\xA0\x80"});
    EXPECT_EQ(line,
              "{\"name\":\"frameReady\",\"payload\":{\"dataUrl\":\"data:image/png;base64,AQID\","
              "\"frameIndex\":7,\"height\":1,\"pixelFormat\":\"rgb\xEF\xBF\xBD\","
              "\"sessionId\":\"a\xEF\xBF\xBD(b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\","
              "\"transport\":\"png-data-url\",\"width\":1}}");
    EXPECT_TRUE(OrderedJson::accept(line));
}

}  // namespace
}  // namespace lk
