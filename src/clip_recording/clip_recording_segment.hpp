#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lk {

// A finished segment of about 2 s: PNG frame files and raw PCM audio in one
// directory below the clip cache directory.
struct ClipRecordingSegment {
    std::filesystem::path audio_path;
    std::filesystem::path directory;
    std::vector<std::filesystem::path> frame_paths;  // capture order
    double duration_seconds = 0.0;
    std::chrono::steady_clock::time_point finished_at;
    std::uint64_t audio_frames = 0;
};

// "segment-00000012", "frame-00000003.png": indexes zero-padded to 8 digits.
std::string clip_segment_directory_name(std::uint64_t index);
std::string clip_frame_file_name(std::uint64_t index);

// The larger of the video length at the capture rate and the audio length at
// the sample rate; a rate that cannot be divided by contributes 0.
double clip_segment_duration_seconds(std::uint64_t video_frames, double capture_rate,
                                     std::uint64_t audio_frames, std::uint32_t sample_rate);

}  // namespace lk
