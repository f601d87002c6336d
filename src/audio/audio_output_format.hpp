#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "audio/audio_output_host.hpp"
#include "audio/stereo_frame_ring.hpp"
#include "common/error.hpp"

namespace lk {

// Preference of a sample format for the desktop stream, 0 being the best
// (F32, I16, U16, F64, I24, U24, I32, U32, I8, U8, I64, U64); DSD formats
// rank after all others and are never preferred.
std::size_t audio_sample_format_rank(AudioSampleFormat format);
bool is_dsd_format(AudioSampleFormat format);
// Whether the desktop stream can write the format (all but DSD).
bool is_writable_sample_format(AudioSampleFormat format);

// Picks the stream configuration from a device's default configuration and
// its supported ranges: the best-ranked range that spans 48000 Hz at 48000
// Hz; else the default when it has two or more channels and is not DSD; else
// the best-ranked range at 48000 Hz clamped into its span.
Result<AudioOutputConfig> resolve_output_config(const AudioOutputConfig& default_config,
                                                const std::vector<AudioOutputConfigRange>& ranges);

// Writes one volume-scaled frame into an interleaved area of `format`: left
// to channel 0, right to channel 1, silence to the rest. `left`/`right` are
// already scaled by the volume (they may exceed 16 bits only for I16/I24/I32,
// whose table stores them unclamped).
void write_output_frame(AudioSampleFormat format, void* area, std::size_t frame_index,
                        std::uint16_t channels, std::int32_t left, std::int32_t right);
// Writes silence to `frames` frames.
void write_output_silence(AudioSampleFormat format, void* area, std::size_t samples);

}  // namespace lk
