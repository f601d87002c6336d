#include "audio/audio_output_format.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace lk {
namespace {

constexpr std::uint32_t kPreferredRate = 48000;

std::int32_t clamp16(std::int32_t value) {
    return std::clamp(value, -32768, 32767);
}

template <class T>
void store(void* area, std::size_t index, T value) {
    std::memcpy(static_cast<unsigned char*>(area) + index * sizeof(T), &value, sizeof(T));
}

template <class T>
void store_frame(void* area, std::size_t frame_index, std::uint16_t channels, T left, T right,
                 T silence) {
    const std::size_t base = frame_index * channels;
    if (channels == 0) {
        return;
    }
    store(area, base, left);
    if (channels > 1) {
        store(area, base + 1, right);
    }
    for (std::size_t c = 2; c < channels; ++c) {
        store(area, base + c, silence);
    }
}

}  // namespace

std::size_t audio_sample_format_rank(AudioSampleFormat format) {
    static constexpr std::array kOrder = {
        AudioSampleFormat::f32, AudioSampleFormat::i16, AudioSampleFormat::u16,
        AudioSampleFormat::f64, AudioSampleFormat::i24, AudioSampleFormat::u24,
        AudioSampleFormat::i32, AudioSampleFormat::u32, AudioSampleFormat::i8,
        AudioSampleFormat::u8,  AudioSampleFormat::i64, AudioSampleFormat::u64,
    };
    const auto* found = std::find(kOrder.begin(), kOrder.end(), format);
    return static_cast<std::size_t>(found - kOrder.begin());  // DSD: kOrder.size()
}

bool is_dsd_format(AudioSampleFormat format) {
    return format == AudioSampleFormat::dsd_u8 || format == AudioSampleFormat::dsd_u16 ||
           format == AudioSampleFormat::dsd_u32;
}

bool is_writable_sample_format(AudioSampleFormat format) {
    return !is_dsd_format(format);
}

Result<AudioOutputConfig> resolve_output_config(const AudioOutputConfig& default_config,
                                                const std::vector<AudioOutputConfigRange>& ranges) {
    const AudioOutputConfigRange* best = nullptr;
    for (const auto& range : ranges) {
        if (range.min_sample_rate <= kPreferredRate && kPreferredRate <= range.max_sample_rate &&
            (best == nullptr ||
             audio_sample_format_rank(range.format) < audio_sample_format_rank(best->format))) {
            best = &range;
        }
    }
    if (best != nullptr) {
        return AudioOutputConfig{best->channels, kPreferredRate, best->format};
    }
    if (default_config.channels >= 2 && !is_dsd_format(default_config.format)) {
        return default_config;
    }
    if (ranges.empty()) {
        return fail("No supported desktop audio output formats are available.");
    }
    const auto first =
        std::min_element(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) {
            return audio_sample_format_rank(a.format) < audio_sample_format_rank(b.format);
        });
    const std::uint32_t rate =
        first->min_sample_rate > kPreferredRate
            ? first->min_sample_rate
            : (first->max_sample_rate < kPreferredRate ? first->max_sample_rate : kPreferredRate);
    return AudioOutputConfig{first->channels, rate, first->format};
}

void write_output_frame(AudioSampleFormat format, void* area, std::size_t frame_index,
                        std::uint16_t channels, std::int32_t left, std::int32_t right) {
    switch (format) {
        case AudioSampleFormat::i16:
            store_frame<std::int16_t>(area, frame_index, channels, static_cast<std::int16_t>(left),
                                      static_cast<std::int16_t>(right), 0);
            return;
        case AudioSampleFormat::i8:
            store_frame<std::int8_t>(area, frame_index, channels,
                                     static_cast<std::int8_t>(clamp16(left) >> 8),
                                     static_cast<std::int8_t>(clamp16(right) >> 8), 0);
            return;
        case AudioSampleFormat::i24:
            store_frame<std::int32_t>(area, frame_index, channels, left * 256, right * 256, 0);
            return;
        case AudioSampleFormat::i32:
            store_frame<std::int32_t>(area, frame_index, channels, left * 65536, right * 65536, 0);
            return;
        case AudioSampleFormat::i64:
            store_frame<std::int64_t>(area, frame_index, channels,
                                      static_cast<std::int64_t>(clamp16(left)) << 48,
                                      static_cast<std::int64_t>(clamp16(right)) << 48, 0);
            return;
        case AudioSampleFormat::u8:
            store_frame<std::uint8_t>(area, frame_index, channels,
                                      static_cast<std::uint8_t>((clamp16(left) >> 8) + 128),
                                      static_cast<std::uint8_t>((clamp16(right) >> 8) + 128), 128);
            return;
        case AudioSampleFormat::u16:
            store_frame<std::uint16_t>(area, frame_index, channels,
                                       static_cast<std::uint16_t>(clamp16(left) + 32768),
                                       static_cast<std::uint16_t>(clamp16(right) + 32768), 32768);
            return;
        case AudioSampleFormat::u24:
            store_frame<std::uint32_t>(area, frame_index, channels,
                                       static_cast<std::uint32_t>(clamp16(left) * 256 + 8388608),
                                       static_cast<std::uint32_t>(clamp16(right) * 256 + 8388608),
                                       8388608u);
            return;
        case AudioSampleFormat::u32:
            store_frame<std::uint32_t>(
                area, frame_index, channels,
                static_cast<std::uint32_t>(static_cast<std::int64_t>(clamp16(left)) * 65536 +
                                           2147483648LL),
                static_cast<std::uint32_t>(static_cast<std::int64_t>(clamp16(right)) * 65536 +
                                           2147483648LL),
                2147483648u);
            return;
        case AudioSampleFormat::u64:
            store_frame<std::uint64_t>(area, frame_index, channels,
                                       static_cast<std::uint64_t>(clamp16(left) + 32768) << 48,
                                       static_cast<std::uint64_t>(clamp16(right) + 32768) << 48,
                                       1ull << 63);
            return;
        case AudioSampleFormat::f32:
            store_frame<float>(area, frame_index, channels, static_cast<float>(left) / 32768.0f,
                               static_cast<float>(right) / 32768.0f, 0.0f);
            return;
        case AudioSampleFormat::f64:
            store_frame<double>(area, frame_index, channels, static_cast<double>(left) / 32768.0,
                                static_cast<double>(right) / 32768.0, 0.0);
            return;
        case AudioSampleFormat::dsd_u8:
        case AudioSampleFormat::dsd_u16:
        case AudioSampleFormat::dsd_u32:
            return;
    }
}

void write_output_silence(AudioSampleFormat format, void* area, std::size_t samples) {
    for (std::size_t i = 0; i < samples; ++i) {
        write_output_frame(format, area, i, 1, 0, 0);
    }
}

}  // namespace lk
