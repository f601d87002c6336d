#include "netplay/netplay_rollback_frame_cursors.hpp"

#include <algorithm>

namespace lk {

NetplayRollbackFrameCursors::NetplayRollbackFrameCursors(std::uint64_t start_frame,
                                                         std::uint64_t player_count)
    : player_next_frames(player_count, start_frame),
      local_send_frame(start_frame),
      current_frame(start_frame),
      verified_frame(start_frame),
      confirmed_frame(start_frame) {}

std::uint64_t NetplayRollbackFrameCursors::lowest_player_next_frame() const {
    return player_next_frames.empty()
               ? current_frame
               : *std::min_element(player_next_frames.begin(), player_next_frames.end());
}

}  // namespace lk
