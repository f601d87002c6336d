#include "video/raw_frame_message.hpp"

#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lk {
namespace {

std::uint64_t big_endian_at(const std::vector<std::uint8_t>& bytes, std::size_t offset,
                            std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value = (value << 8) | bytes.at(offset + i);
    }
    return value;
}

TEST(RawFrameMessage, HeaderFieldsAreBigEndianAtTheirOffsetsFollowedBySessionAndLabel) {
    std::vector<std::uint8_t> out(5, 0xEE);  // old content must be replaced
    const std::string session = "s\xC3\xA9ssion-42";
    ASSERT_TRUE(build_raw_frame_message_prefix(out, RawFrameMessageFields{
                                                        .frame_index = 0x0102030405060708u,
                                                        .width = 256,
                                                        .height = 224,
                                                        .session_id = session,
                                                        .payload_length = 229376,
                                                    }));
    ASSERT_EQ(out.size(), 36 + session.size() + 8);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "LKRF");
    struct Field {
        std::size_t offset, size;
        std::uint64_t value;
    };
    const Field fields[] = {
        {4, 2, 1},                    // version
        {6, 2, 36},                   // header length
        {8, 8, 0x0102030405060708u},  // frame index
        {16, 4, 256},                 // width
        {20, 4, 224},                 // height
        {24, 4, 1024},                // stride
        {28, 2, session.size()},      // session id length
        {30, 2, 8},                   // label length
        {32, 4, 229376},              // payload length
    };
    for (const Field& f : fields) {
        EXPECT_EQ(big_endian_at(out, f.offset, f.size), f.value) << "offset " << f.offset;
    }
    EXPECT_EQ(out[8], 0x01) << "most significant byte first";
    EXPECT_EQ(std::string(out.begin() + 36, out.begin() + 36 + static_cast<long>(session.size())),
              session);
    EXPECT_EQ(std::string(out.end() - 8, out.end()), "rgba8888");
}

TEST(RawFrameMessage, FieldsThatDoNotFitTheirSlotsAreRefused) {
    const std::string long_session(65536, 'x');
    const std::string longest_session(65535, 'x');
    struct Case {
        RawFrameMessageFields fields;
        const char* message;  // nullptr: accepted
    };
    const auto fields = [](std::uint32_t width, std::string_view session, std::uint64_t payload) {
        return RawFrameMessageFields{.frame_index = 0,
                                     .width = width,
                                     .height = 1,
                                     .session_id = session,
                                     .payload_length = payload};
    };
    const Case cases[] = {
        {fields(1, "", 0xFFFFFFFFu), nullptr},
        {fields(1, "", 0x100000000u), "Raw frame payload is too large."},
        {fields(1, longest_session, 0), nullptr},
        {fields(1, long_session, 0), "Raw frame session id is too large."},
        {fields(1073741823, "", 0), nullptr},
        {fields(1073741824, "", 0), "Raw frame pitch is too large."},
        {fields(std::numeric_limits<std::uint32_t>::max(), "", 0), "Raw frame pitch is too large."},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out;
        const Status built = build_raw_frame_message_prefix(out, c.fields);
        SCOPED_TRACE(c.message == nullptr ? "accepted" : c.message);
        if (c.message == nullptr) {
            EXPECT_TRUE(built);
            EXPECT_EQ(big_endian_at(out, 24, 4), std::uint64_t{c.fields.width} * 4);
            EXPECT_EQ(big_endian_at(out, 32, 4), c.fields.payload_length);
            EXPECT_EQ(big_endian_at(out, 28, 2), c.fields.session_id.size());
        } else {
            ASSERT_FALSE(built);
            EXPECT_EQ(built.error().message(), c.message);
            EXPECT_TRUE(out.empty());
        }
    }
}

}  // namespace
}  // namespace lk
