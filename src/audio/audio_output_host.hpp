#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.hpp"

namespace lk {

// Sample formats an output stream can carry. I24 and U24 sit in 32-bit
// containers; the DSD formats are listed so that devices can report them but
// are never chosen.
enum class AudioSampleFormat {
    i8,
    i16,
    i24,
    i32,
    i64,
    u8,
    u16,
    u24,
    u32,
    u64,
    f32,
    f64,
    dsd_u8,
    dsd_u16,
    dsd_u32,
};

// "F32", "I16", ... as the format is printed in logs and errors.
std::string_view audio_sample_format_name(AudioSampleFormat format);
// Bytes of one sample in an interleaved area.
std::size_t audio_sample_format_bytes(AudioSampleFormat format);

struct AudioOutputConfig {
    std::uint16_t channels = 2;
    std::uint32_t sample_rate = 48000;
    AudioSampleFormat format = AudioSampleFormat::f32;

    friend bool operator==(const AudioOutputConfig&, const AudioOutputConfig&) = default;
};

// One supported combination: a channel count and format over a rate span.
struct AudioOutputConfigRange {
    std::uint16_t channels = 2;
    std::uint32_t min_sample_rate = 0;
    std::uint32_t max_sample_rate = 0;
    AudioSampleFormat format = AudioSampleFormat::f32;
};

// The interleaved area the device asks to be filled: `samples` values of the
// stream's sample format (frames times channels).
struct AudioOutputArea {
    void* data = nullptr;
    std::size_t samples = 0;
};

// Runs on the stream's own device thread. It must not block or allocate.
using AudioDataCallback = std::function<void(AudioOutputArea area)>;
// Runs on the device thread when the stream fails after it was started.
using AudioErrorCallback = std::function<void(const Error& error)>;

// A built output stream. Discarding it stops the device; no callback runs
// after the destructor has returned.
class AudioOutputStream {
  public:
    AudioOutputStream() = default;
    AudioOutputStream(const AudioOutputStream&) = delete;
    AudioOutputStream& operator=(const AudioOutputStream&) = delete;
    virtual ~AudioOutputStream() = default;

    virtual Status start() = 0;
};

class AudioOutputDevice {
  public:
    AudioOutputDevice() = default;
    AudioOutputDevice(const AudioOutputDevice&) = delete;
    AudioOutputDevice& operator=(const AudioOutputDevice&) = delete;
    virtual ~AudioOutputDevice() = default;

    // The display name shown to the user.
    virtual Result<std::string> name() const = 0;
    virtual Result<AudioOutputConfig> default_output_config() const = 0;
    virtual Result<std::vector<AudioOutputConfigRange>> supported_output_configs() const = 0;
    // Builds a stream with the host's default buffer size.
    virtual Result<std::unique_ptr<AudioOutputStream>> build_output_stream(
        const AudioOutputConfig& config, AudioDataCallback data_callback,
        AudioErrorCallback error_callback) = 0;
};

// The audio system: its output devices and the default one.
class AudioOutputHost {
  public:
    AudioOutputHost() = default;
    AudioOutputHost(const AudioOutputHost&) = delete;
    AudioOutputHost& operator=(const AudioOutputHost&) = delete;
    virtual ~AudioOutputHost() = default;

    // Output-capable devices in the host's order.
    virtual Result<std::vector<std::unique_ptr<AudioOutputDevice>>> output_devices() = 0;
    // Absent when the machine has no output device.
    virtual std::unique_ptr<AudioOutputDevice> default_output_device() = 0;
};

// The host of this platform (ALSA).
std::shared_ptr<AudioOutputHost> default_audio_output_host();

}  // namespace lk
