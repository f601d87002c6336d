#include "runtime/libretro_netplay_frame_core.hpp"


#include "libretro/callback_runtime_state.hpp"
#include "libretro/input_callbacks.hpp"
#include "runtime/libretro_runtime_state.hpp"

namespace lk {

Status LibretroNetplayFrameCore::serialize_state(std::vector<std::uint8_t>& out) {
    if (core_ == nullptr) {
        return fail(kNoCoreSession);
    }
    const std::size_t size = core_->retro_serialize_size();
    if (size == 0) {
        return fail("core reported zero-byte serialize size");
    }
    // Zeroed like a fresh buffer: bytes a core leaves unwritten must not carry
    // an older state into the hashes.
    out.assign(size, 0);
    if (!core_->retro_serialize(out.data(), out.size())) {
        return fail("core refused to serialize state");
    }
    return {};
}

Status LibretroNetplayFrameCore::unserialize_state(std::span<const std::uint8_t> state) {
    if (core_ == nullptr) {
        return fail(kNoCoreSession);
    }
    if (state.empty()) {
        return fail("save state payload is empty");
    }
    if (!core_->retro_unserialize(state.data(), state.size())) {
        return fail("core rejected save state payload");
    }
    return {};
}

void LibretroNetplayFrameCore::apply_inputs(const NetplayFrameInputs& inputs) {
    std::array<std::uint16_t, kInputPortCount> joypad{};
    std::array<AnalogStick, kInputPortCount> left{};
    std::array<AnalogStick, kInputPortCount> right{};
    for (std::size_t port = 0; port < kInputPortCount && port < inputs.size(); ++port) {
        const NetplayPlayerInput& input = inputs[port];
        joypad[port] = input.buttons;
        left[port] = AnalogStick{input.axes[0], input.axes[1]};
        right[port] = AnalogStick{input.axes[2], input.axes[3]};
    }
    callback_bridge::set_input_state_by_port(joypad, left, CallbackPointerState{}, right);
}

Status LibretroNetplayFrameCore::run_frame() {
    if (core_ == nullptr) {
        return fail(kNoCoreSession);
    }
    core_->retro_run();
    return {};
}

void LibretroNetplayFrameCore::set_output_suppressed(bool suppressed) {
    callback_bridge::set_av_output_suppressed(suppressed);
}

}  // namespace lk
