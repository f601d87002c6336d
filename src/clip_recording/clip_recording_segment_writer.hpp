#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "audio/audio_sample_batch.hpp"
#include "clip_recording/clip_recording_segment.hpp"
#include "common/error.hpp"

namespace lk {

// The segment being written: "audio.s16le" behind an 8 KiB buffer and one PNG
// file per captured frame. Worker thread only.
class ClipRecordingSegmentWriter {
  public:
    static Result<ClipRecordingSegmentWriter> create(const std::filesystem::path& cache_directory,
                                                     std::uint64_t index);

    // Appends the samples as signed 16-bit little-endian values.
    Status push_audio_batch(const AudioSampleBatch& batch);
    // Writes the next "frame-NNNNNNNN.png"; nothing is recorded on failure.
    Status push_video_frame(std::span<const std::uint8_t> png_bytes);
    // Flushes and closes the audio file and describes the segment.
    Result<ClipRecordingSegment> finish(std::uint32_t sample_rate, double capture_rate);

    [[nodiscard]] const std::filesystem::path& directory() const { return directory_; }
    [[nodiscard]] std::chrono::steady_clock::time_point created_at() const { return created_at_; }
    [[nodiscard]] std::uint64_t video_frames() const { return video_frames_; }
    [[nodiscard]] std::uint64_t audio_frames() const { return audio_frames_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    ClipRecordingSegmentWriter() = default;

    std::filesystem::path directory_;
    std::filesystem::path audio_path_;
    std::unique_ptr<char[]> audio_buffer_;  // stdio buffer of audio_file_; outlives it
    std::unique_ptr<std::FILE, FileCloser> audio_file_;
    std::vector<std::filesystem::path> frame_paths_;
    std::uint64_t audio_frames_ = 0;
    std::uint64_t video_frames_ = 0;
    std::chrono::steady_clock::time_point created_at_;
};

}  // namespace lk
