#include "audio/alsa_audio_output_host.hpp"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>

namespace lk {
namespace {

constexpr unsigned kMaxEnumeratedChannels = 8;
constexpr unsigned kPeriodMicroseconds = 20000;
constexpr unsigned kBufferMicroseconds = 100000;
constexpr int kWaitMilliseconds = 10;

Error alsa_error(const char* call, int code) {
    return Error(fmt::format("ALSA {} failed: {}", call, snd_strerror(code)));
}

struct FormatPair {
    AudioSampleFormat ours;
    snd_pcm_format_t alsa;
};

constexpr std::array kFormats = {
    FormatPair{AudioSampleFormat::f32, SND_PCM_FORMAT_FLOAT_LE},
    FormatPair{AudioSampleFormat::i16, SND_PCM_FORMAT_S16_LE},
    FormatPair{AudioSampleFormat::u16, SND_PCM_FORMAT_U16_LE},
    FormatPair{AudioSampleFormat::f64, SND_PCM_FORMAT_FLOAT64_LE},
    FormatPair{AudioSampleFormat::i24, SND_PCM_FORMAT_S24_LE},
    FormatPair{AudioSampleFormat::u24, SND_PCM_FORMAT_U24_LE},
    FormatPair{AudioSampleFormat::i32, SND_PCM_FORMAT_S32_LE},
    FormatPair{AudioSampleFormat::u32, SND_PCM_FORMAT_U32_LE},
    FormatPair{AudioSampleFormat::i8, SND_PCM_FORMAT_S8},
    FormatPair{AudioSampleFormat::u8, SND_PCM_FORMAT_U8},
    FormatPair{AudioSampleFormat::dsd_u8, SND_PCM_FORMAT_DSD_U8},
    FormatPair{AudioSampleFormat::dsd_u16, SND_PCM_FORMAT_DSD_U16_LE},
    FormatPair{AudioSampleFormat::dsd_u32, SND_PCM_FORMAT_DSD_U32_LE},
};

Result<snd_pcm_format_t> to_alsa(AudioSampleFormat format) {
    for (const auto& pair : kFormats) {
        if (pair.ours == format) {
            return pair.alsa;
        }
    }
    return fail(fmt::format("Unsupported desktop audio sample format: {}",
                            audio_sample_format_name(format)));
}

// An open PCM with its full hardware parameter space, closed on scope exit.
class PcmProbe {
  public:
    static Result<PcmProbe> open(const std::string& pcm_name) {
        PcmProbe probe;
        int rc =
            snd_pcm_open(&probe.pcm_, pcm_name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (rc < 0) {
            return fail(alsa_error("snd_pcm_open", rc));
        }
        rc = snd_pcm_hw_params_malloc(&probe.params_);
        if (rc < 0) {
            return fail(alsa_error("snd_pcm_hw_params_malloc", rc));
        }
        rc = snd_pcm_hw_params_any(probe.pcm_, probe.params_);
        if (rc < 0) {
            return fail(alsa_error("snd_pcm_hw_params_any", rc));
        }
        return probe;
    }
    PcmProbe() = default;
    PcmProbe(PcmProbe&& other) noexcept
        : pcm_(std::exchange(other.pcm_, nullptr)),
          params_(std::exchange(other.params_, nullptr)) {}
    PcmProbe& operator=(PcmProbe&&) = delete;
    ~PcmProbe() {
        if (params_ != nullptr) {
            snd_pcm_hw_params_free(params_);
        }
        if (pcm_ != nullptr) {
            snd_pcm_close(pcm_);
        }
    }
    snd_pcm_t* pcm() const { return pcm_; }
    snd_pcm_hw_params_t* params() const { return params_; }

  private:
    snd_pcm_t* pcm_ = nullptr;
    snd_pcm_hw_params_t* params_ = nullptr;
};

// Writes the callback's areas to the PCM on a thread of its own.
class AlsaAudioOutputStream final : public AudioOutputStream {
  public:
    AlsaAudioOutputStream(snd_pcm_t* pcm, AudioOutputConfig config, snd_pcm_uframes_t period,
                          AudioDataCallback data, AudioErrorCallback error)
        : pcm_(pcm),
          config_(config),
          period_frames_(period),
          area_(period * config.channels * audio_sample_format_bytes(config.format)),
          data_(std::move(data)),
          error_(std::move(error)) {}

    ~AlsaAudioOutputStream() override {
        running_.store(false, std::memory_order_relaxed);
        if (thread_.joinable()) {
            thread_.join();
        }
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }

    Status start() override {
        const int rc = snd_pcm_prepare(pcm_);
        if (rc < 0) {
            return fail(alsa_error("snd_pcm_prepare", rc));
        }
        running_.store(true, std::memory_order_relaxed);
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::exception& error) {
            running_.store(false, std::memory_order_relaxed);
            return fail(fmt::format("Audio device thread could not start: {}", error.what()));
        }
        return {};
    }

  private:
    void run() noexcept {
        const std::size_t frame_bytes =
            config_.channels * audio_sample_format_bytes(config_.format);
        while (running_.load(std::memory_order_relaxed)) {
            data_(AudioOutputArea{area_.data(), period_frames_ * config_.channels});
            std::size_t offset = 0;
            snd_pcm_uframes_t left = period_frames_;
            while (left > 0 && running_.load(std::memory_order_relaxed)) {
                const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, area_.data() + offset, left);
                if (written == -EAGAIN) {
                    if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
                        // The buffer is full but some plugins wait for an explicit start.
                        snd_pcm_start(pcm_);
                    }
                    // No room yet: wait for the device at most one poll interval, so
                    // that the running flag is seen promptly.
                    snd_pcm_wait(pcm_, kWaitMilliseconds);
                    continue;
                }
                if (written < 0) {
                    const int recovered = snd_pcm_recover(pcm_, static_cast<int>(written), 1);
                    if (recovered < 0) {
                        report(alsa_error("snd_pcm_writei", recovered));
                        return;
                    }
                    continue;
                }
                offset += static_cast<std::size_t>(written) * frame_bytes;
                left -= static_cast<snd_pcm_uframes_t>(written);
            }
        }
    }

    void report(const Error& error) noexcept {
        try {
            error_(error);
        } catch (...) {
            // The error callback only logs; nothing more to do.
        }
    }

    snd_pcm_t* pcm_;  // opened by the device; used by the stream thread after start
    AudioOutputConfig config_;
    snd_pcm_uframes_t period_frames_;
    std::vector<unsigned char> area_;  // owned by the stream thread
    AudioDataCallback data_;
    AudioErrorCallback error_;
    std::atomic<bool> running_{false};  // written by the owner, read by the stream thread
    std::thread thread_;
};

class AlsaAudioOutputDevice final : public AudioOutputDevice {
  public:
    AlsaAudioOutputDevice(std::string pcm_name, std::string display_name)
        : pcm_name_(std::move(pcm_name)), display_name_(std::move(display_name)) {}

    Result<std::string> name() const override { return display_name_; }

    Result<AudioOutputConfig> default_output_config() const override {
        auto probe = PcmProbe::open(pcm_name_);
        if (!probe) {
            return fail(probe.error());
        }
        AudioOutputConfig config;
        bool have_format = false;
        for (const auto& pair : kFormats) {
            if (snd_pcm_hw_params_test_format(probe->pcm(), probe->params(), pair.alsa) == 0) {
                config.format = pair.ours;
                have_format = true;
                break;
            }
        }
        if (!have_format) {
            return fail("ALSA device offers no known sample format.");
        }
        unsigned channels = 2;
        if (snd_pcm_hw_params_set_channels_near(probe->pcm(), probe->params(), &channels) < 0) {
            return fail("ALSA device offers no channel count.");
        }
        unsigned rate = 48000;
        int dir = 0;
        const int rc = snd_pcm_hw_params_set_rate_near(probe->pcm(), probe->params(), &rate, &dir);
        if (rc < 0) {
            return fail(alsa_error("snd_pcm_hw_params_set_rate_near", rc));
        }
        config.channels = static_cast<std::uint16_t>(channels);
        config.sample_rate = rate;
        return config;
    }

    Result<std::vector<AudioOutputConfigRange>> supported_output_configs() const override {
        auto probe = PcmProbe::open(pcm_name_);
        if (!probe) {
            return fail(probe.error());
        }
        unsigned min_rate = 0;
        unsigned max_rate = 0;
        unsigned min_channels = 0;
        unsigned max_channels = 0;
        int dir = 0;
        int rc = snd_pcm_hw_params_get_rate_min(probe->params(), &min_rate, &dir);
        if (rc >= 0) {
            rc = snd_pcm_hw_params_get_rate_max(probe->params(), &max_rate, &dir);
        }
        if (rc >= 0) {
            rc = snd_pcm_hw_params_get_channels_min(probe->params(), &min_channels);
        }
        if (rc >= 0) {
            rc = snd_pcm_hw_params_get_channels_max(probe->params(), &max_channels);
        }
        if (rc < 0) {
            return fail(alsa_error("snd_pcm_hw_params_get", rc));
        }
        std::vector<AudioOutputConfigRange> ranges;
        const unsigned last_channels = std::min(max_channels, kMaxEnumeratedChannels);
        for (const auto& pair : kFormats) {
            if (snd_pcm_hw_params_test_format(probe->pcm(), probe->params(), pair.alsa) != 0) {
                continue;
            }
            // Stereo is listed first: on equal format rank the first range wins,
            // and the core's audio is stereo.
            std::vector<unsigned> counts;
            if (min_channels <= 2 && 2 <= max_channels) {
                counts.push_back(2);
            }
            for (unsigned channels = std::max(1u, min_channels); channels <= last_channels;
                 ++channels) {
                if (channels != 2) {
                    counts.push_back(channels);
                }
            }
            for (const unsigned channels : counts) {
                if (snd_pcm_hw_params_test_channels(probe->pcm(), probe->params(), channels) == 0) {
                    ranges.push_back(
                        {static_cast<std::uint16_t>(channels), min_rate, max_rate, pair.ours});
                }
            }
        }
        return ranges;
    }

    Result<std::unique_ptr<AudioOutputStream>> build_output_stream(
        const AudioOutputConfig& config, AudioDataCallback data_callback,
        AudioErrorCallback error_callback) override {
        const auto format = to_alsa(config.format);
        if (!format) {
            return fail(format.error());
        }
        snd_pcm_t* pcm = nullptr;
        int rc = snd_pcm_open(&pcm, pcm_name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (rc < 0) {
            return fail(alsa_error("snd_pcm_open", rc));
        }
        snd_pcm_hw_params_t* params = nullptr;
        snd_pcm_hw_params_alloca(&params);
        unsigned buffer_time = kBufferMicroseconds;
        unsigned period_time = kPeriodMicroseconds;
        const char* call = "snd_pcm_hw_params_any";
        rc = snd_pcm_hw_params_any(pcm, params);
        if (rc >= 0) {
            call = "snd_pcm_hw_params_set_access";
            rc = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
        }
        if (rc >= 0) {
            call = "snd_pcm_hw_params_set_format";
            rc = snd_pcm_hw_params_set_format(pcm, params, *format);
        }
        if (rc >= 0) {
            call = "snd_pcm_hw_params_set_channels";
            rc = snd_pcm_hw_params_set_channels(pcm, params, config.channels);
        }
        if (rc >= 0) {
            call = "snd_pcm_hw_params_set_rate";
            rc = snd_pcm_hw_params_set_rate(pcm, params, config.sample_rate, 0);
        }
        if (rc >= 0) {
            call = "snd_pcm_hw_params_set_buffer_time_near";
            rc = snd_pcm_hw_params_set_buffer_time_near(pcm, params, &buffer_time, nullptr);
        }
        if (rc >= 0) {
            call = "snd_pcm_hw_params_set_period_time_near";
            rc = snd_pcm_hw_params_set_period_time_near(pcm, params, &period_time, nullptr);
        }
        if (rc >= 0) {
            call = "snd_pcm_hw_params";
            rc = snd_pcm_hw_params(pcm, params);
        }
        snd_pcm_uframes_t period = 0;
        if (rc >= 0) {
            call = "snd_pcm_hw_params_get_period_size";
            rc = snd_pcm_hw_params_get_period_size(params, &period, nullptr);
        }
        // Start as soon as one period is queued, and wake the writer per period.
        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        if (rc >= 0) {
            call = "snd_pcm_sw_params_current";
            rc = snd_pcm_sw_params_current(pcm, sw);
        }
        if (rc >= 0) {
            call = "snd_pcm_sw_params_set_start_threshold";
            rc = snd_pcm_sw_params_set_start_threshold(pcm, sw, period);
        }
        if (rc >= 0) {
            call = "snd_pcm_sw_params_set_avail_min";
            rc = snd_pcm_sw_params_set_avail_min(pcm, sw, period);
        }
        if (rc >= 0) {
            call = "snd_pcm_sw_params";
            rc = snd_pcm_sw_params(pcm, sw);
        }
        if (rc < 0) {
            snd_pcm_close(pcm);
            return fail(alsa_error(call, rc));
        }
        try {
            return std::make_unique<AlsaAudioOutputStream>(
                pcm, config, period, std::move(data_callback), std::move(error_callback));
        } catch (const std::exception& error) {
            snd_pcm_close(pcm);
            return fail(fmt::format("Audio output stream could not be built: {}", error.what()));
        }
    }

  private:
    std::string pcm_name_;
    std::string display_name_;
};

std::string hint_text(void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    if (value == nullptr) {
        return {};
    }
    std::string text(value);
    std::free(value);
    return text;
}

}  // namespace

Result<std::vector<std::unique_ptr<AudioOutputDevice>>> AlsaAudioOutputHost::output_devices() {
    void** hints = nullptr;
    const int rc = snd_device_name_hint(-1, "pcm", &hints);
    if (rc < 0) {
        return fail(alsa_error("snd_device_name_hint", rc));
    }
    std::vector<std::unique_ptr<AudioOutputDevice>> devices;
    for (void** hint = hints; *hint != nullptr; ++hint) {
        const std::string name = hint_text(*hint, "NAME");
        const std::string io = hint_text(*hint, "IOID");
        if (name.empty() || name == "null" || (!io.empty() && io != "Output")) {
            continue;
        }
        std::string description = hint_text(*hint, "DESC");
        for (char& c : description) {
            if (c == '\n') {
                c = ' ';
            }
        }
        devices.push_back(std::make_unique<AlsaAudioOutputDevice>(
            name, description.empty() ? name : description));
    }
    snd_device_name_free_hint(hints);
    return devices;
}

std::unique_ptr<AudioOutputDevice> AlsaAudioOutputHost::default_output_device() {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return nullptr;
    }
    snd_pcm_close(pcm);
    return std::make_unique<AlsaAudioOutputDevice>("default", "default");
}

std::shared_ptr<AudioOutputHost> default_audio_output_host() {
    return std::make_shared<AlsaAudioOutputHost>();
}

}  // namespace lk
