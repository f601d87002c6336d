#include "audio/null_audio_sink.hpp"

#include <limits>

namespace lk {

Status NullAudioSink::clear() { return {}; }

Status NullAudioSink::configure(const AudioStreamDescriptor& descriptor, AudioPlaybackMode mode) {
    descriptor_ = descriptor;
    mode_ = mode;
    return {};
}

Status NullAudioSink::push_samples(AudioSampleBatch batch) {
    const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - frames_pushed_;
    frames_pushed_ += batch.frames < room ? batch.frames : room;
    return {};
}

Status NullAudioSink::set_settings(const AudioSinkSettings& settings) {
    settings_ = settings;
    muted_ = settings.muted;
    return {};
}

Status NullAudioSink::set_muted(bool muted) {
    muted_ = muted;
    return {};
}

Status NullAudioSink::stop() { return {}; }

std::unique_ptr<AudioSink> NullAudioSinkFactory::create_audio_sink() {
    return std::make_unique<NullAudioSink>();
}

}  // namespace lk
