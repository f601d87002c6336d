#pragma once

#include <memory>

#include "audio/audio_sample_batch.hpp"
#include "audio/audio_stream_descriptor.hpp"
#include "common/error.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// Where the runtime thread hands the core's audio. A sink is created on the
// main thread and moved to the runtime thread, which is its only caller.
class AudioSink {
  public:
    AudioSink() = default;
    AudioSink(const AudioSink&) = delete;
    AudioSink& operator=(const AudioSink&) = delete;
    virtual ~AudioSink() = default;

    // Drops all queued audio without stopping the stream.
    virtual Status clear() = 0;
    // (Re)opens the output for the described stream.
    virtual Status configure(const AudioStreamDescriptor& descriptor, AudioPlaybackMode mode) = 0;
    // Takes ownership of one batch and queues it for playback.
    virtual Status push_samples(AudioSampleBatch batch) = 0;
    // Applies device, volume and mute.
    virtual Status set_settings(const AudioSinkSettings& settings) = 0;
    virtual Status set_muted(bool muted) = 0;
    // Stops playback and forgets the descriptor.
    virtual Status stop() = 0;
};

// Creates one audio sink per session; cannot fail.
class AudioSinkFactory {
  public:
    AudioSinkFactory() = default;
    AudioSinkFactory(const AudioSinkFactory&) = delete;
    AudioSinkFactory& operator=(const AudioSinkFactory&) = delete;
    virtual ~AudioSinkFactory() = default;
    virtual std::unique_ptr<AudioSink> create_audio_sink() = 0;
};

}  // namespace lk
