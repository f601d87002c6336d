#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/audio_output_host.hpp"
#include "audio/audio_output_pipeline.hpp"
#include "audio/audio_sink.hpp"
#include "audio/shared_audio_playback_buffer.hpp"

namespace lk {

// Counters and controls shared between the runtime thread and the device
// thread. Written as noted per field; every atomic is relaxed because each
// one stands alone.
struct DesktopAudioDeviceState {
    SharedAudioPlaybackBuffer buffer;  // its own mutex; the device only tries it
    std::atomic<bool> muted{false};    // written by the runtime thread, read by the device
    std::atomic<std::uint32_t> volume_thousandths{800};  // as muted
    // Written by the device thread, read and zeroed by the runtime thread.
    std::atomic<std::uint64_t> callbacks{0};
    std::atomic<std::uint64_t> prefill_frames{0};
    std::atomic<std::uint64_t> read_frames{0};
    std::atomic<std::uint64_t> requested_frames{0};
    std::atomic<std::uint64_t> underrun_frames{0};
    bool debug_logs = false;  // fixed before any stream exists
};

// Plays the core's audio on the desktop output device: resamples each batch
// on the runtime thread, stores it in the playback buffer and lets the
// device thread pull it. Owned by the runtime thread; the device callback
// touches only the shared device state.
class DesktopAudioSink final : public AudioSink {
  public:
    DesktopAudioSink(std::shared_ptr<AudioOutputHost> host, bool debug_logs);
    ~DesktopAudioSink() override;

    Status clear() override;
    Status configure(const AudioStreamDescriptor& descriptor, AudioPlaybackMode mode) override;
    Status push_samples(AudioSampleBatch batch) override;
    Status set_settings(const AudioSinkSettings& settings) override;
    Status set_muted(bool muted) override;
    Status stop() override;

    [[nodiscard]] bool has_stream() const { return stream_ != nullptr; }
    [[nodiscard]] const std::optional<AudioOutputConfig>& stream_config() const {
        return stream_config_;
    }
    [[nodiscard]] const AudioOutputPipeline* pipeline() const {
        return pipeline_ ? &*pipeline_ : nullptr;
    }
    [[nodiscard]] const std::optional<std::string>& requested_device() const {
        return requested_device_;
    }
    [[nodiscard]] const std::string& device_label() const { return device_label_; }
    [[nodiscard]] DesktopAudioDeviceState& device_state() { return *device_; }
    [[nodiscard]] std::uint64_t source_frames() const { return source_frames_; }
    [[nodiscard]] std::uint64_t output_frames() const { return output_frames_; }
    [[nodiscard]] std::uint64_t contention_dropped_frames() const {
        return contention_dropped_frames_;
    }

  private:
    Status stop_playback();
    Result<std::unique_ptr<AudioOutputDevice>> choose_device();
    void reset_metrics(std::uint32_t source_rate, std::uint32_t output_rate);
    void maybe_log_metrics(std::uint64_t last_output_frames);

    // All below are owned by the runtime thread.
    std::shared_ptr<AudioOutputHost> host_;
    std::shared_ptr<DesktopAudioDeviceState> device_;  // shared with the data callback
    std::optional<AudioStreamDescriptor> descriptor_;
    AudioPlaybackMode mode_ = AudioPlaybackMode::standard;
    std::optional<std::string> requested_device_;
    float volume_ = 0.8f;
    bool muted_ = false;
    std::optional<AudioOutputPipeline> pipeline_;
    std::unique_ptr<AudioOutputStream> stream_;
    std::optional<AudioOutputConfig> stream_config_;
    std::string device_label_;
    std::uint64_t source_frames_ = 0;
    std::uint64_t output_frames_ = 0;
    std::uint64_t contention_dropped_frames_ = 0;
    std::uint32_t metric_source_rate_ = 0;
    std::uint32_t metric_output_rate_ = 0;
    std::chrono::steady_clock::time_point metrics_timestamp_;
    bool debug_logs_;
};

class DesktopAudioSinkFactory final : public AudioSinkFactory {
  public:
    // The platform host, opened lazily by each sink's first configure.
    DesktopAudioSinkFactory();
    DesktopAudioSinkFactory(std::shared_ptr<AudioOutputHost> host, bool debug_logs);
    std::unique_ptr<AudioSink> create_audio_sink() override;

  private:
    std::shared_ptr<AudioOutputHost> host_;
    bool debug_logs_;
};

// The device-choice rule: exact display-name equality, or, lower-cased, one
// name containing the other.
bool audio_device_name_matches(std::string_view requested, std::string_view device_name);

}  // namespace lk
