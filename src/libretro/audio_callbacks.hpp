#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/audio_sample_batch.hpp"

namespace lk::callback_bridge {

// C-callable retro_audio_sample_t: queues one stereo frame.
void audio_sample_callback(std::int16_t left, std::int16_t right);

// C-callable retro_audio_sample_batch_t: queues a copy of `frames` stereo
// frames and returns `frames`. NULL data queues an empty batch.
std::size_t audio_sample_batch_callback(const std::int16_t* data, std::size_t frames);

// Every queued batch, oldest first.
std::vector<AudioSampleBatch> drain_audio_batches();

}  // namespace lk::callback_bridge
