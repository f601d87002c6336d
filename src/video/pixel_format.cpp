#include "video/pixel_format.hpp"

#include <fmt/format.h>

namespace lk {

Result<PixelFormat> PixelFormat::from_label(std::string_view label) {
    for (std::uint32_t value = 0; value < kCount; ++value) {
        const PixelFormat format(static_cast<Value>(value));
        if (format.label() == label) {
            return format;
        }
    }
    return fail(fmt::format("Unsupported screenshot pixel format: {}", label),
                ErrorKind::invalid_data);
}

}  // namespace lk
