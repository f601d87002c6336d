#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "clip_recording/clip_recording_segment.hpp"
#include "common/error.hpp"

namespace lk {

// The frames and audio of one clip, chosen from finished segments.
struct ClipMediaSelection {
    std::vector<std::filesystem::path> frame_paths;  // oldest first
    std::vector<std::uint8_t> audio_bytes;           // s16le stereo, audio_frames × 4 bytes
    double duration_seconds = 0.0;
    std::uint64_t audio_frames = 0;
};

// With a replay length the newest round(length × capture rate) frames (at least
// one) and at most that length; the audio is the newest part of the segments'
// audio, padded with silence at its end to the clip's duration.
Result<ClipMediaSelection> select_clip_media(const std::vector<ClipRecordingSegment>& segments,
                                             std::optional<double> replay_length_seconds,
                                             std::uint32_t sample_rate, double capture_rate);

// Frames per second that spread `frame_count` frames over `duration_seconds`,
// in [0.001, 120]; without a usable duration the fallback rate decides.
double resolve_output_frame_rate(double duration_seconds, std::uint64_t frame_count,
                                 double fallback_rate);

// Nearest integer, halves away from zero, saturated to the unsigned 64-bit range
// (negative and not-a-number give 0).
std::uint64_t round_to_u64(double value);

}  // namespace lk
