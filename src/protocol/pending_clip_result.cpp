#include "protocol/pending_clip_result.hpp"

namespace lk {

PendingClipResult ready_clip_error(Error error) {
    auto [sender, receiver] = make_oneshot<ClipResult>();
    sender.send(std::unexpected(std::move(error)));
    return std::move(receiver);
}

}  // namespace lk
