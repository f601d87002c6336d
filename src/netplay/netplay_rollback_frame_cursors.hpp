#pragma once

#include <cstdint>
#include <vector>

namespace lk {

// Where a netplay session stands: which inputs are known, what was sent, run,
// checked and confirmed. Every cursor names the first frame not yet covered.
struct NetplayRollbackFrameCursors {
    // Every cursor at `start_frame`, one next-frame entry per player.
    NetplayRollbackFrameCursors(std::uint64_t start_frame, std::uint64_t player_count);

    // The smallest of `player_next_frames`.
    [[nodiscard]] std::uint64_t lowest_player_next_frame() const;

    std::vector<std::uint64_t> player_next_frames;  // first frame whose input is unknown
    std::uint64_t local_send_frame;                 // next frame to send local input for
    std::uint64_t current_frame;                    // the frame that runs next
    std::uint64_t verified_frame;   // frames below it were checked against confirmed inputs
    std::uint64_t confirmed_frame;  // frames below it have every input, within the server frame
};

}  // namespace lk
