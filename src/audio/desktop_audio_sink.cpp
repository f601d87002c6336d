#include "audio/desktop_audio_sink.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <utility>

#include "audio/audio_output_format.hpp"
#include "audio/audio_playback_policy.hpp"
#include "audio/audio_sample_rate.hpp"
#include "common/diagnostics.hpp"
#include "common/saturating.hpp"

namespace lk {
namespace {

void add_counter(std::atomic<std::uint64_t>& counter, std::uint64_t value) {
    counter.fetch_add(value, std::memory_order_relaxed);
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view text) {
    const auto not_space = [](unsigned char c) { return !std::isspace(c); };
    const auto* begin = std::find_if(text.begin(), text.end(), not_space);
    const auto* end = std::find_if(text.rbegin(), std::reverse_iterator(begin), not_space).base();
    return {begin, end};
}

const char* mode_name(AudioPlaybackMode mode) {
    return mode == AudioPlaybackMode::netplay ? "Netplay" : "Standard";
}

void log_device_state(const char* label, std::uint64_t requested, std::uint64_t read,
                      std::uint64_t underrun, const PlaybackReadReport& report) {
    runner_log(
        "{}: requestedFrames={} readFrames={} underrunFrames={} bufferedFrames={} "
        "capacityFrames={} underrunCallbacks={}",
        label, requested, read, underrun, report.buffered_frames, report.capacity_frames,
        report.underrun_count);
}

// The data callback body. Runs on the device thread; never blocks, never
// allocates (except the debug lines at start and every 30th underrun).
void fill_area(DesktopAudioDeviceState& device, AudioSampleFormat format, std::uint16_t channels,
               AudioOutputArea area) noexcept {
    const std::size_t frames = channels == 0 ? 0 : area.samples / channels;
    const bool muted = device.muted.load(std::memory_order_relaxed);
    const std::int32_t volume = static_cast<std::int32_t>(
        std::min<std::uint32_t>(device.volume_thousandths.load(std::memory_order_relaxed), 1000));
    PlaybackReadReport report;
    try {
        write_output_silence(format, area.data, area.samples);
        report = device.buffer.try_read(frames, [&](std::size_t index, StereoFrame frame) {
            if (muted) {
                return;  // the area already holds silence
            }
            write_output_frame(format, area.data, index, channels, frame.left * volume / 1000,
                               frame.right * volume / 1000);
        });
    } catch (...) {
        // The buffer is now poisoned; this and later callbacks play silence.
        write_output_silence(format, area.data, area.samples);
        report = PlaybackReadReport{};
        report.requested_frames = frames;
        report.underrun_frames = frames;
    }
    add_counter(device.callbacks, 1);
    add_counter(device.requested_frames, frames);
    switch (report.outcome) {
        case PlaybackReadReport::Outcome::busy:
            add_counter(device.underrun_frames, frames);
            return;
        case PlaybackReadReport::Outcome::priming:
            add_counter(device.prefill_frames, frames);
            return;
        case PlaybackReadReport::Outcome::played:
            break;
    }
    add_counter(device.read_frames, report.read_frames);
    add_counter(device.underrun_frames, report.underrun_frames);
    if (!device.debug_logs) {
        return;
    }
    try {
        if (report.started) {
            log_device_state("Desktop audio playback started", frames, 0, 0, report);
        }
        if (report.underrun_frames > 0 && report.underrun_count % 30 == 0) {
            log_device_state("Desktop audio underrun", frames, report.read_frames,
                             report.underrun_frames, report);
        }
    } catch (...) {
        // A diagnostic that cannot be formatted is dropped.
    }
}

}  // namespace

bool audio_device_name_matches(std::string_view requested, std::string_view device_name) {
    if (requested == device_name) {
        return true;
    }
    const std::string want = lower(requested);
    const std::string have = lower(device_name);
    return have.find(want) != std::string::npos || want.find(have) != std::string::npos;
}

DesktopAudioSink::DesktopAudioSink(std::shared_ptr<AudioOutputHost> host, bool debug_logs)
    : host_(std::move(host)),
      device_(std::make_shared<DesktopAudioDeviceState>()),
      metrics_timestamp_(std::chrono::steady_clock::now()),
      debug_logs_(debug_logs) {
    device_->debug_logs = debug_logs;
}

DesktopAudioSink::~DesktopAudioSink() {
    stream_.reset();
}

Status DesktopAudioSink::stop_playback() {
    stream_.reset();
    stream_config_.reset();
    pipeline_.reset();
    reset_metrics(0, 0);
    return device_->buffer.clear();
}

Result<std::unique_ptr<AudioOutputDevice>> DesktopAudioSink::choose_device() {
    if (!requested_device_) {
        return host_->default_output_device();
    }
    auto devices = host_->output_devices();
    if (!devices) {
        return fail(devices.error());
    }
    for (auto& device : *devices) {
        const auto name = device->name();
        if (name && audio_device_name_matches(*requested_device_, *name)) {
            return std::move(device);
        }
    }
    if (debug_logs_) {
        runner_log(
            "Requested audio output device was not found; falling back to system default: {}",
            *requested_device_);
    }
    return host_->default_output_device();
}

Status DesktopAudioSink::configure(const AudioStreamDescriptor& descriptor,
                                   AudioPlaybackMode mode) {
    if (auto stopped = stop_playback(); !stopped) {
        return stopped;
    }
    descriptor_ = descriptor;
    mode_ = mode;
    if (descriptor.sample_format != kPcmS16le) {
        return fail(fmt::format("Unsupported audio stream format: {}", descriptor.sample_format));
    }
    auto chosen = choose_device();
    if (!chosen) {
        return fail(chosen.error());
    }
    std::unique_ptr<AudioOutputDevice> device = std::move(*chosen);
    if (!device) {
        if (debug_logs_) {
            runner_log("No desktop audio output device found; audio is muted.");
        }
        return {};
    }
    const auto name = device->name();
    device_label_ = name ? *name : "Unknown output";

    const auto default_config = device->default_output_config();
    if (!default_config) {
        return fail(default_config.error());
    }
    const auto ranges = device->supported_output_configs();
    if (!ranges) {
        return fail(ranges.error());
    }
    const auto config = resolve_output_config(*default_config, *ranges);
    if (!config) {
        return fail(config.error());
    }

    const auto source_rate = audio_sample_rate_from_hz(descriptor.sample_rate);
    if (!source_rate) {
        return fail(source_rate.error());
    }
    const auto input_rate =
        audio_sample_rate_from_hz(descriptor.playback_speed * descriptor.source_sample_rate);
    if (!input_rate) {
        return fail(input_rate.error());
    }
    const std::uint32_t output_rate = config->sample_rate;
    const auto policy = AudioPlaybackPolicy::for_output(mode, output_rate);
    if (auto reset = device_->buffer.reset(policy); !reset) {
        return reset;
    }
    auto pipeline = AudioOutputPipeline::create(*source_rate, *input_rate, output_rate);
    if (!pipeline) {
        return fail(pipeline.error());
    }
    pipeline_.emplace(std::move(*pipeline));
    reset_metrics(*input_rate, output_rate);

    if (debug_logs_) {
        runner_log(
            "Desktop audio ready: mode={} source={}Hz speed={:.2f} effectiveSource={}Hz "
            "output={}Hz channels={} format={} device=\"{}\" volume={} muted={} burstFrames={} "
            "ringFrames={} prefillFrames={} recoveryPrefillFrames={} ceilingFrames={}",
            mode_name(mode), *source_rate, descriptor.playback_speed, *input_rate, output_rate,
            config->channels, audio_sample_format_name(config->format), device_label_,
            device_->volume_thousandths.load(std::memory_order_relaxed),
            device_->muted.load(std::memory_order_relaxed), 1024, policy.ring_frames,
            policy.prefill_frames, policy.recovery_prefill_frames, policy.ceiling_frames);
    }

    if (!is_writable_sample_format(config->format)) {
        pipeline_.reset();
        return fail(fmt::format("Unsupported desktop audio sample format: {}",
                                audio_sample_format_name(config->format)));
    }
    const AudioSampleFormat format = config->format;
    const std::uint16_t channels = config->channels;
    std::shared_ptr<DesktopAudioDeviceState> state = device_;
    const bool debug = debug_logs_;
    auto stream = device->build_output_stream(
        *config,
        [state, format, channels](AudioOutputArea area) {
            fill_area(*state, format, channels, area);
        },
        [debug](const Error& error) {
            if (debug) {
                runner_log("Desktop audio stream error: {}", error.message());
            }
        });
    if (!stream) {
        pipeline_.reset();
        return fail(stream.error());
    }
    if (auto started = (*stream)->start(); !started) {
        pipeline_.reset();
        return started;
    }
    stream_ = std::move(*stream);
    stream_config_ = *config;
    return {};
}

Status DesktopAudioSink::push_samples(AudioSampleBatch batch) {
    if (!pipeline_) {
        return {};
    }
    const auto converted = pipeline_->process(batch);
    if (!converted) {
        return fail(converted.error());
    }
    const std::uint64_t converted_frames = converted->size() / 2;
    const auto outcome = device_->buffer.append_within(*converted);
    if (!outcome) {
        return fail(outcome.error());
    }
    source_frames_ = saturating_add(source_frames_, batch.frames);
    if (outcome->contended) {
        const bool first = contention_dropped_frames_ == 0;
        contention_dropped_frames_ = saturating_add(contention_dropped_frames_, converted_frames);
        if (debug_logs_ && (first || contention_dropped_frames_ % 48000 == 0)) {
            runner_log(
                "Desktop audio dropped under buffer lock contention: droppedOutputFrames={} "
                "totalDroppedOutputFrames={}",
                converted_frames, contention_dropped_frames_);
        }
        return {};
    }
    const std::uint64_t stored = outcome->append.stored_frames;
    output_frames_ = saturating_add(output_frames_, stored);
    if (debug_logs_) {
        if (outcome->append.dropped_frames > 0) {
            runner_log(
                "Desktop audio overflow: droppedFrames={} totalDroppedFrames={} bufferedFrames={} "
                "capacityFrames={}",
                outcome->append.dropped_frames, outcome->dropped_total, outcome->buffered_frames,
                outcome->capacity_frames);
        }
        maybe_log_metrics(stored);
    }
    return {};
}

void DesktopAudioSink::reset_metrics(std::uint32_t source_rate, std::uint32_t output_rate) {
    source_frames_ = 0;
    output_frames_ = 0;
    contention_dropped_frames_ = 0;
    device_->callbacks.store(0, std::memory_order_relaxed);
    device_->prefill_frames.store(0, std::memory_order_relaxed);
    device_->read_frames.store(0, std::memory_order_relaxed);
    device_->requested_frames.store(0, std::memory_order_relaxed);
    device_->underrun_frames.store(0, std::memory_order_relaxed);
    metric_source_rate_ = source_rate;
    metric_output_rate_ = output_rate;
    metrics_timestamp_ = std::chrono::steady_clock::now();
}

void DesktopAudioSink::maybe_log_metrics(std::uint64_t last_output_frames) {
    const auto now = std::chrono::steady_clock::now();
    if (now - metrics_timestamp_ < std::chrono::seconds(3)) {
        return;
    }
    metrics_timestamp_ = now;
    if (metric_source_rate_ == 0 || metric_output_rate_ == 0) {
        return;
    }
    const auto snapshot = device_->buffer.snapshot();
    const std::uint64_t buffered = snapshot ? snapshot->buffered_frames : 0;
    const std::uint64_t capacity = snapshot ? snapshot->capacity_frames : 0;
    const auto ms = [](std::uint64_t frames, std::uint32_t rate) {
        return static_cast<double>(frames) / static_cast<double>(rate) * 1000.0;
    };
    const std::uint64_t requested = device_->requested_frames.load(std::memory_order_relaxed);
    const std::uint64_t read = device_->read_frames.load(std::memory_order_relaxed);
    const double source_ms = ms(source_frames_, metric_source_rate_);
    const double output_ms = ms(output_frames_, metric_output_rate_);
    runner_log(
        "Desktop audio metrics: sourceFrames={} outputFrames={} deviceRequestedFrames={} "
        "deviceReadFrames={} devicePrefillFrames={} sourceRate={}Hz outputRate={}Hz "
        "lastOutputFrames={} sourceDurationMs={:.2f} outputDurationMs={:.2f} "
        "deviceRequestedMs={:.2f} deviceReadMs={:.2f} driftMs={:.2f} deviceCallbacks={} "
        "deviceUnderrunFrames={} bufferedFrames={} capacityFrames={}",
        source_frames_, output_frames_, requested, read,
        device_->prefill_frames.load(std::memory_order_relaxed), metric_source_rate_,
        metric_output_rate_, last_output_frames, source_ms, output_ms,
        ms(requested, metric_output_rate_), ms(read, metric_output_rate_), output_ms - source_ms,
        device_->callbacks.load(std::memory_order_relaxed),
        device_->underrun_frames.load(std::memory_order_relaxed), buffered, capacity);
}

Status DesktopAudioSink::set_settings(const AudioSinkSettings& settings) {
    std::optional<std::string> device;
    if (settings.output_device && !trim(*settings.output_device).empty()) {
        device = *settings.output_device;
    }
    const float volume =
        std::isfinite(settings.volume) ? std::clamp(settings.volume, 0.0f, 1.0f) : 0.8f;
    const bool device_changed = device != requested_device_;
    device_->muted.store(settings.muted, std::memory_order_relaxed);
    device_->volume_thousandths.store(static_cast<std::uint32_t>(std::lround(volume * 1000.0f)),
                                      std::memory_order_relaxed);
    requested_device_ = std::move(device);
    volume_ = volume;
    muted_ = settings.muted;
    if (device_changed && descriptor_) {
        const AudioStreamDescriptor descriptor = *descriptor_;
        if (auto configured = configure(descriptor, mode_); !configured) {
            return configured;
        }
    }
    if (debug_logs_) {
        runner_log("Desktop audio settings changed: muted={} volume={} outputDevice={}", muted_,
                   device_->volume_thousandths.load(std::memory_order_relaxed),
                   requested_device_ ? *requested_device_ : std::string("system default"));
    }
    return {};
}

Status DesktopAudioSink::set_muted(bool muted) {
    const bool previous = device_->muted.exchange(muted, std::memory_order_relaxed);
    muted_ = muted;
    if (previous == muted) {
        return {};
    }
    if (pipeline_) {
        if (auto reset = pipeline_->reset(); !reset) {
            return reset;
        }
    }
    if (auto cleared = device_->buffer.clear(); !cleared) {
        return cleared;
    }
    if (debug_logs_) {
        runner_log("Desktop audio muted state changed: muted={}", muted);
    }
    return {};
}

Status DesktopAudioSink::clear() {
    if (pipeline_) {
        if (auto reset = pipeline_->reset(); !reset) {
            return reset;
        }
    }
    return device_->buffer.clear();
}

Status DesktopAudioSink::stop() {
    descriptor_.reset();
    return stop_playback();
}

DesktopAudioSinkFactory::DesktopAudioSinkFactory()
    : DesktopAudioSinkFactory(default_audio_output_host(), runner_debug_logs_enabled()) {}

DesktopAudioSinkFactory::DesktopAudioSinkFactory(std::shared_ptr<AudioOutputHost> host,
                                                 bool debug_logs)
    : host_(std::move(host)), debug_logs_(debug_logs) {}

std::unique_ptr<AudioSink> DesktopAudioSinkFactory::create_audio_sink() {
    return std::make_unique<DesktopAudioSink>(host_, debug_logs_);
}

}  // namespace lk
