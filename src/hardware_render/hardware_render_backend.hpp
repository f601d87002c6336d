#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "common/error.hpp"
#include "hardware_render/hardware_render_backend_capability.hpp"
#include "hardware_render/hardware_render_context.hpp"
#include "hardware_render/hardware_render_request.hpp"

namespace lk {

// Creates hardware render contexts for cores, or explains why it cannot.
// Lives for one session on the runtime thread; never calls into the core.
class HardwareRenderBackend {
  public:
    virtual ~HardwareRenderBackend() = default;

    virtual HardwareRenderBackendCapability capability() const = 0;
    virtual Result<std::unique_ptr<HardwareRenderContext>> create_context(
        const HardwareRenderRequest& request) = 0;
    // The context type a core should ask for, if the backend has one.
    virtual std::optional<std::uint32_t> preferred_context_type() const = 0;
};

}  // namespace lk
