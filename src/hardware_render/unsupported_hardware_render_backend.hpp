#pragma once

#include <string>

#include "hardware_render/hardware_render_backend.hpp"

namespace lk {

// A backend that refuses every request, saying why in its reason.
class UnsupportedHardwareRenderBackend final : public HardwareRenderBackend {
  public:
    explicit UnsupportedHardwareRenderBackend(std::string reason) : reason_(std::move(reason)) {}

    HardwareRenderBackendCapability capability() const override;
    // Always fails with "Requested libretro hardware context: {description}.
    // {capability summary} {advice}".
    Result<std::unique_ptr<HardwareRenderContext>> create_context(
        const HardwareRenderRequest& request) override;
    std::optional<std::uint32_t> preferred_context_type() const override { return std::nullopt; }

    const std::string& reason() const { return reason_; }

  private:
    std::string reason_;
};

}  // namespace lk
