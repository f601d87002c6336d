#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/error.hpp"

namespace lk {

// The pixel layouts a frame can carry. Values 0 to 2 are numbered as the
// libretro pixel formats a core selects; 3 is ours, for frames read back from
// the hardware renderer.
class PixelFormat {
  public:
    enum Value : std::uint8_t {
        // "0rgb1555": 16-bit little-endian, red 14-10, green 9-5, blue 4-0, bit 15 ignored.
        rgb1555 = 0,
        // "xrgb8888": 32-bit little-endian, red 23-16, green 15-8, blue 7-0 (memory: B G R x).
        xrgb8888 = 1,
        // "rgb565": 16-bit little-endian, red 15-11, green 10-5, blue 4-0.
        rgb565 = 2,
        // "rgba8888": bytes red, green, blue, alpha.
        rgba8888 = 3,
    };

    static constexpr std::size_t kCount = 4;

    constexpr PixelFormat(Value value) : value_(value) {}  // NOLINT: implicit by design

    // Exact, case-sensitive match of the four labels; any other text fails with
    // "Unsupported screenshot pixel format: {label}".
    static Result<PixelFormat> from_label(std::string_view label);

    // The format with this numeric value (0 to 3), if there is one.
    static constexpr std::optional<PixelFormat> from_value(std::uint32_t value) {
        if (value < kCount) {
            return PixelFormat(static_cast<Value>(value));
        }
        return std::nullopt;
    }

    [[nodiscard]] constexpr Value value() const { return value_; }

    [[nodiscard]] constexpr std::string_view label() const {
        switch (value_) {
            case rgb1555:
                return "0rgb1555";
            case xrgb8888:
                return "xrgb8888";
            case rgb565:
                return "rgb565";
            case rgba8888:
                return "rgba8888";
        }
        return {};
    }

    [[nodiscard]] constexpr std::size_t bytes_per_pixel() const {
        return value_ == xrgb8888 || value_ == rgba8888 ? 4 : 2;
    }

    friend constexpr bool operator==(PixelFormat a, PixelFormat b) { return a.value_ == b.value_; }

  private:
    Value value_;
};

}  // namespace lk
