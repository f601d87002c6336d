#pragma once

#include "common/channel.hpp"
#include "common/error.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// The receiving end of a one-shot channel on which a clip operation later
// delivers its result or its error.
using ClipResult = Result<ClipRecordingResultPayload>;
using PendingClipResult = OneshotReceiver<ClipResult>;
using ClipResultSender = OneshotSender<ClipResult>;

// A pending result that already holds `error` (its sender is gone).
PendingClipResult ready_clip_error(Error error);

}  // namespace lk
