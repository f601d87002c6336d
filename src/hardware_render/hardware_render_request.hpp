#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lk {

// Hardware context types, numbered as libretro's retro_hw_context_type.
inline constexpr std::uint32_t kHwContextOpenGl = 1;
inline constexpr std::uint32_t kHwContextOpenGlEs2 = 2;
inline constexpr std::uint32_t kHwContextOpenGlCore = 3;
inline constexpr std::uint32_t kHwContextOpenGlEs3 = 4;
inline constexpr std::uint32_t kHwContextOpenGlEsVersion = 5;
inline constexpr std::uint32_t kHwContextVulkan = 6;

// "OpenGL", "OpenGL ES 2", "OpenGL Core", "OpenGL ES 3", "OpenGL ES",
// "Vulkan"; "Unknown" for any other number.
std::string_view hardware_context_type_name(std::uint32_t context_type);

// The runner's copy of a core's hardware render request.
struct HardwareRenderRequest {
    std::uint32_t context_type = 0;
    std::uint32_t version_major = 0;
    std::uint32_t version_minor = 0;
    bool bottom_left_origin = false;
    bool cache_context = false;
    bool debug_context = false;
    bool depth = false;
    bool stencil = false;

    // "{name} ({type}), version {major}.{minor}, depth={depth},
    // stencil={stencil}, cacheContext={cache}, debugContext={debug},
    // bottomLeftOrigin={origin}".
    [[nodiscard]] std::string description() const;
};

}  // namespace lk
