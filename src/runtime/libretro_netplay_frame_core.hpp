#pragma once

#include "libretro/core_api.hpp"
#include "netplay/netplay_frame_core.hpp"

namespace lk {

// The netplay frame steps over a loaded libretro core: states through
// retro_serialize / retro_unserialize, inputs through the callback bridge's
// ports, re-run frames with their video and audio discarded. Runtime thread only.
class LibretroNetplayFrameCore final : public NetplayFrameCore {
  public:
    // `core` may be null when no core is loaded; every state operation then fails.
    explicit LibretroNetplayFrameCore(const CoreApi* core) : core_(core) {}

    Status serialize_state(std::vector<std::uint8_t>& out) override;
    Status unserialize_state(std::span<const std::uint8_t> state) override;
    void apply_inputs(const NetplayFrameInputs& inputs) override;
    Status run_frame() override;
    void set_output_suppressed(bool suppressed) override;

  private:
    const CoreApi* core_;
};

}  // namespace lk
