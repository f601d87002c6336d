#include "hardware_render/hardware_render_request.hpp"

#include <fmt/format.h>

namespace lk {

std::string_view hardware_context_type_name(std::uint32_t context_type) {
    switch (context_type) {
        case kHwContextOpenGl:
            return "OpenGL";
        case kHwContextOpenGlEs2:
            return "OpenGL ES 2";
        case kHwContextOpenGlCore:
            return "OpenGL Core";
        case kHwContextOpenGlEs3:
            return "OpenGL ES 3";
        case kHwContextOpenGlEsVersion:
            return "OpenGL ES";
        case kHwContextVulkan:
            return "Vulkan";
        default:
            return "Unknown";
    }
}

std::string HardwareRenderRequest::description() const {
    return fmt::format(
        "{} ({}), version {}.{}, depth={}, stencil={}, cacheContext={}, debugContext={}, "
        "bottomLeftOrigin={}",
        hardware_context_type_name(context_type), context_type, version_major, version_minor, depth,
        stencil, cache_context, debug_context, bottom_left_origin);
}

}  // namespace lk
