#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "clip_recording/clip_recorder_config.hpp"
#include "clip_recording/clip_recording_segment.hpp"
#include "common/error.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// A self-contained encode job: its own work directory holds hard links to the
// clip's frames and the clip's audio, so the worker may prune the segments
// they came from while the encode runs.
struct ClipEncodeSnapshot {
    std::filesystem::path audio_path;        // work_directory/"audio.s16le"
    std::filesystem::path frames_directory;  // work_directory/"frames"
    std::filesystem::path output_path;
    GStreamerRuntimeConfig gstreamer_runtime;
    std::filesystem::path work_directory;  // cache_directory/"encode-<epoch ms>"
    std::uint64_t audio_frames = 0;
    double duration_seconds = 0.0;
    std::uint64_t frame_count = 0;
    double frame_rate = 0.0;
    std::uint32_t sample_rate = 0;
    bool high_quality = false;
};

// Worker thread: chooses the clip's media, builds the work directory and
// writes the thumbnail (the middle frame). On failure nothing of the work
// directory stays.
Result<ClipEncodeSnapshot> create_clip_encode_snapshot(
    const ClipRecorderConfig& config, const std::vector<ClipRecordingSegment>& segments,
    std::optional<double> replay_length_seconds, const std::filesystem::path& output_path,
    const std::filesystem::path& thumbnail_path, std::uint32_t sample_rate, double capture_rate);

// Encode thread: runs the launcher and removes the work directory, whatever
// the outcome.
Result<ClipRecordingResultPayload> run_clip_encode_snapshot(ClipEncodeSnapshot snapshot);

}  // namespace lk
