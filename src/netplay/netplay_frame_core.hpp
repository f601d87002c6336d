#pragma once

// What the netplay frame steps need of the emulator: its state, its inputs,
// one frame, and a switch that discards the output of re-run frames. The
// runtime implements it over the loaded libretro core; tests use a fake.

#include <cstdint>
#include <span>
#include <vector>

#include "common/error.hpp"
#include "netplay/netplay_player_input.hpp"

namespace lk {

class NetplayFrameCore {
  public:
    virtual ~NetplayFrameCore() = default;

    // Replaces `out` with the current state; `out` may be a recycled buffer,
    // so a state as large as the last one is written without allocating.
    virtual Status serialize_state(std::vector<std::uint8_t>& out) = 0;
    virtual Status unserialize_state(std::span<const std::uint8_t> state) = 0;
    // Player p's input goes to controller port p.
    virtual void apply_inputs(const NetplayFrameInputs& inputs) = 0;
    virtual Status run_frame() = 0;
    virtual void set_output_suppressed(bool suppressed) = 0;
};

}  // namespace lk
