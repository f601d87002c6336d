#pragma once

#include <cstdint>
#include <optional>

#include "audio/audio_sink.hpp"

namespace lk {

// Accepts everything and plays nothing. Owned by the runtime thread.
class NullAudioSink final : public AudioSink {
  public:
    Status clear() override;
    Status configure(const AudioStreamDescriptor& descriptor, AudioPlaybackMode mode) override;
    Status push_samples(AudioSampleBatch batch) override;
    Status set_settings(const AudioSinkSettings& settings) override;
    Status set_muted(bool muted) override;
    Status stop() override;

    [[nodiscard]] const std::optional<AudioStreamDescriptor>& descriptor() const {
        return descriptor_;
    }
    [[nodiscard]] std::optional<AudioPlaybackMode> mode() const { return mode_; }
    [[nodiscard]] const std::optional<AudioSinkSettings>& settings() const { return settings_; }
    [[nodiscard]] bool muted() const { return muted_; }
    [[nodiscard]] std::uint64_t frames_pushed() const { return frames_pushed_; }

  private:
    std::optional<AudioStreamDescriptor> descriptor_;
    std::optional<AudioPlaybackMode> mode_;
    std::optional<AudioSinkSettings> settings_;
    bool muted_ = false;
    std::uint64_t frames_pushed_ = 0;
};

class NullAudioSinkFactory final : public AudioSinkFactory {
  public:
    std::unique_ptr<AudioSink> create_audio_sink() override;
};

}  // namespace lk
