#pragma once

#include <memory>

#include "audio/audio_sink.hpp"
#include "common/error.hpp"
#include "protocol/runner_event_emitter.hpp"
#include "runtime/artifact_store.hpp"
#include "runtime/libretro_runtime_config.hpp"
#include "runtime/libretro_runtime_handle.hpp"
#include "video/video_sink.hpp"

namespace lk {

inline constexpr const char* kRuntimeFailedBeforeReadiness =
    "Libretro runtime failed before reporting readiness.";

// Starts the runtime thread of one session and waits until it has loaded the
// core and the game (or failed to). The thread owns the sinks from then on.
Result<LibretroRuntimeHandle> spawn_libretro_runtime(LibretroRuntimeConfig config,
                                                     ArtifactStoreHandle artifact_store,
                                                     std::unique_ptr<AudioSink> audio_sink,
                                                     RunnerEventEmitterHandle event_emitter,
                                                     std::unique_ptr<VideoSink> video_sink);

}  // namespace lk
