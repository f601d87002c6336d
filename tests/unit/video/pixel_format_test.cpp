#include "video/pixel_format.hpp"

#include <gtest/gtest.h>

namespace lk {
namespace {

TEST(PixelFormat, MapsTheFourLabelsToTheirValues) {
    struct Case {
        std::string_view label;
        PixelFormat::Value value;
        std::size_t bytes_per_pixel;
    };
    for (const Case& c :
         {Case{"0rgb1555", PixelFormat::rgb1555, 2}, Case{"xrgb8888", PixelFormat::xrgb8888, 4},
          Case{"rgb565", PixelFormat::rgb565, 2}, Case{"rgba8888", PixelFormat::rgba8888, 4}}) {
        auto format = PixelFormat::from_label(c.label);
        ASSERT_TRUE(format) << c.label;
        EXPECT_EQ(format->value(), c.value);
        EXPECT_EQ(static_cast<int>(format->value()), static_cast<int>(c.value));
        EXPECT_EQ(format->label(), c.label);
        EXPECT_EQ(format->bytes_per_pixel(), c.bytes_per_pixel);
        EXPECT_EQ(PixelFormat::from_value(c.value), *format);
    }
    EXPECT_EQ(PixelFormat::from_value(4), std::nullopt);
}

TEST(PixelFormat, RejectsAnyOtherLabelQuotingIt) {
    for (std::string_view label : {"RGB565", "rgb565 ", " rgb565", "", "rgba", "0RGB1555"}) {
        auto format = PixelFormat::from_label(label);
        ASSERT_FALSE(format) << label;
        EXPECT_EQ(format.error().message(),
                  "Unsupported screenshot pixel format: " + std::string(label));
    }
}

}  // namespace
}  // namespace lk
