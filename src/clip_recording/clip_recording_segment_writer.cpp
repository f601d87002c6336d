#include "clip_recording/clip_recording_segment_writer.hpp"

#include <cerrno>

#include "clip_recording/clip_file_io.hpp"
#include "common/saturating.hpp"

namespace lk {

namespace {
constexpr std::size_t kAudioBufferBytes = 8192;
}

Result<ClipRecordingSegmentWriter> ClipRecordingSegmentWriter::create(
    const std::filesystem::path& cache_directory, std::uint64_t index) {
    ClipRecordingSegmentWriter writer;
    writer.directory_ = cache_directory / clip_segment_directory_name(index);
    if (auto created = create_clip_directories(writer.directory_); !created) {
        return fail(std::move(created.error()));
    }
    writer.audio_path_ = writer.directory_ / "audio.s16le";
    std::FILE* file = std::fopen(writer.audio_path_.c_str(), "wb");
    if (file == nullptr) {
        return fail(Error::from_errno(errno));
    }
    writer.audio_file_.reset(file);
    writer.audio_buffer_ = std::make_unique<char[]>(kAudioBufferBytes);
    std::setvbuf(file, writer.audio_buffer_.get(), _IOFBF, kAudioBufferBytes);
    writer.created_at_ = std::chrono::steady_clock::now();
    return writer;
}

Status ClipRecordingSegmentWriter::push_audio_batch(const AudioSampleBatch& batch) {
    if (!audio_file_) {
        return fail("Clip segment audio file is closed.", ErrorKind::io);
    }
    std::uint8_t bytes[512];
    std::size_t used = 0;
    for (const std::int16_t sample : batch.samples) {
        const auto value = static_cast<std::uint16_t>(sample);
        bytes[used++] = static_cast<std::uint8_t>(value & 0xFFu);
        bytes[used++] = static_cast<std::uint8_t>(value >> 8);
        if (used == sizeof bytes) {
            if (std::fwrite(bytes, 1, used, audio_file_.get()) != used) {
                return fail(Error::from_errno(errno));
            }
            used = 0;
        }
    }
    if (used != 0 && std::fwrite(bytes, 1, used, audio_file_.get()) != used) {
        return fail(Error::from_errno(errno));
    }
    audio_frames_ = saturating_add(audio_frames_, batch.frames);
    return {};
}

Status ClipRecordingSegmentWriter::push_video_frame(std::span<const std::uint8_t> png_bytes) {
    std::filesystem::path path = directory_ / clip_frame_file_name(video_frames_);
    if (auto written = write_clip_file(path, png_bytes); !written) {
        return written;
    }
    frame_paths_.push_back(std::move(path));
    video_frames_ = saturating_add(video_frames_, 1);
    return {};
}

Result<ClipRecordingSegment> ClipRecordingSegmentWriter::finish(std::uint32_t sample_rate,
                                                                double capture_rate) {
    if (audio_file_) {
        std::FILE* file = audio_file_.release();
        const bool flushed = std::fflush(file) == 0;
        const int flush_error = errno;
        const bool closed = std::fclose(file) == 0;
        if (!flushed || !closed) {
            return fail(Error::from_errno(flushed ? errno : flush_error));
        }
    }
    ClipRecordingSegment segment;
    segment.audio_path = audio_path_;
    segment.directory = directory_;
    segment.frame_paths = frame_paths_;
    segment.duration_seconds =
        clip_segment_duration_seconds(video_frames_, capture_rate, audio_frames_, sample_rate);
    segment.finished_at = std::chrono::steady_clock::now();
    segment.audio_frames = audio_frames_;
    return segment;
}

}  // namespace lk
