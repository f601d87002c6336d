// The refusing backend, the capability summary and the request description:
// the texts a core's rejected request is explained with.

#include <gtest/gtest.h>

#include <string>

#include "hardware_render/hardware_render_backend_capability.hpp"
#include "hardware_render/hardware_render_request.hpp"
#include "hardware_render/unsupported_hardware_render_backend.hpp"

namespace lk {
namespace {

constexpr const char* kAdvice =
    "This runner build supports hardware rendering through Linux EGL/OpenGL. Verify "
    "libEGL/OpenGL drivers are installed and usable by the desktop process.";

TEST(HardwareContextTypeName, NamesEveryLibretroTypeAndUnknownOtherwise) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {1, "OpenGL"},      {2, "OpenGL ES 2"}, {3, "OpenGL Core"},
        {4, "OpenGL ES 3"}, {5, "OpenGL ES"},   {6, "Vulkan"},
        {0, "Unknown"},     {7, "Unknown"},     {0x7fffffff, "Unknown"},
    };
    for (const auto& [type, name] : cases) {
        EXPECT_EQ(hardware_context_type_name(type), name) << type;
    }
}

TEST(HardwareRenderRequest, DescribesEveryField) {
    HardwareRenderRequest request;
    request.context_type = 3;
    request.version_major = 4;
    request.version_minor = 5;
    request.depth = true;
    request.stencil = false;
    request.cache_context = true;
    request.debug_context = false;
    request.bottom_left_origin = true;
    EXPECT_EQ(request.description(),
              "OpenGL Core (3), version 4.5, depth=true, stencil=false, cacheContext=true, "
              "debugContext=false, bottomLeftOrigin=true");

    HardwareRenderRequest unknown;
    unknown.context_type = 42;
    unknown.stencil = true;
    unknown.debug_context = true;
    EXPECT_EQ(unknown.description(),
              "Unknown (42), version 0.0, depth=false, stencil=true, cacheContext=false, "
              "debugContext=true, bottomLeftOrigin=false");
}

TEST(FormatHardwareRenderBackendCapability, AvailableAndUnavailableForms) {
    HardwareRenderBackendCapability egl;
    egl.backend_name = "linux-egl-opengl";
    egl.supported_context_types = {1, 3, 2, 4, 5};
    egl.preferred_context_type = 1;
    egl.available = true;
    EXPECT_EQ(format_hardware_render_backend_capability(egl),
              "Hardware render backend 'linux-egl-opengl' is available; preferred context: "
              "OpenGL; supported contexts: OpenGL, OpenGL Core, OpenGL ES 2, OpenGL ES 3, "
              "OpenGL ES.");

    egl.preferred_context_type.reset();
    egl.supported_context_types.clear();
    EXPECT_EQ(format_hardware_render_backend_capability(egl),
              "Hardware render backend 'linux-egl-opengl' is available; preferred context: none; "
              "supported contexts: none.");

    HardwareRenderBackendCapability broken;
    broken.backend_name = "x";
    broken.supported_context_types = {6};
    EXPECT_EQ(format_hardware_render_backend_capability(broken),
              "Hardware render backend 'x' is unavailable: unknown reason. Supported contexts: "
              "Vulkan.");
    broken.unavailable_reason = "no driver";
    EXPECT_EQ(format_hardware_render_backend_capability(broken),
              "Hardware render backend 'x' is unavailable: no driver. Supported contexts: "
              "Vulkan.");
}

TEST(UnsupportedHardwareRenderBackend, ReportsItselfAndRefusesEveryRequest) {
    UnsupportedHardwareRenderBackend backend("EGL backend is unavailable: no libEGL");
    const auto capability = backend.capability();
    EXPECT_EQ(capability.backend_name, "unsupported");
    EXPECT_TRUE(capability.supported_context_types.empty());
    EXPECT_EQ(capability.unavailable_reason, "EGL backend is unavailable: no libEGL");
    EXPECT_FALSE(capability.preferred_context_type.has_value());
    EXPECT_FALSE(capability.available);
    EXPECT_FALSE(backend.preferred_context_type().has_value());

    HardwareRenderRequest request;
    request.context_type = 6;
    request.version_major = 1;
    request.version_minor = 2;
    const auto refused = backend.create_context(request);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().message(),
              std::string("Requested libretro hardware context: Vulkan (6), version 1.2, "
                          "depth=false, stencil=false, cacheContext=false, debugContext=false, "
                          "bottomLeftOrigin=false. Hardware render backend 'unsupported' is "
                          "unavailable: EGL backend is unavailable: no libEGL. Supported "
                          "contexts: none. ") +
                  kAdvice);

    request.context_type = 1;
    EXPECT_FALSE(backend.create_context(request).has_value()) << "OpenGL is refused as well";
}

}  // namespace
}  // namespace lk
