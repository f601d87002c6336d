#include "clip_recording/clip_encode_snapshot.hpp"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "clip_recording/clip_file_io.hpp"
#include "clip_recording/clip_media_selection.hpp"
#include "clip_recording/clip_recording_messages.hpp"
#include "clip_recording/gstreamer_clip_encoder.hpp"
#include "common/utf8.hpp"

namespace lk {

namespace fs = std::filesystem;

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

std::uint64_t epoch_milliseconds() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return ms < 0 ? 0 : static_cast<std::uint64_t>(ms);
}

Status create_parent_directories(const fs::path& path) {
    const fs::path parent = path.parent_path();
    return parent.empty() ? Status{} : create_clip_directories(parent);
}

// Links the frame into the work directory, copying when linking fails.
Status place_frame(const fs::path& source, const fs::path& target) {
    std::error_code error;
    fs::create_hard_link(source, target, error);
    if (!error) {
        return {};
    }
    error.clear();
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
    if (error) {
        return fail(Error::from_error_code(error));
    }
    return {};
}

Result<ClipEncodeSnapshot> fill_work_directory(ClipEncodeSnapshot snapshot,
                                               const std::vector<ClipRecordingSegment>& segments,
                                               std::optional<double> replay_length_seconds,
                                               const fs::path& thumbnail_path,
                                               double capture_rate) {
    auto selection =
        select_clip_media(segments, replay_length_seconds, snapshot.sample_rate, capture_rate);
    if (!selection) {
        return fail(std::move(selection.error()));
    }
    std::FILE* audio = std::fopen(snapshot.audio_path.c_str(), "wb");
    if (audio == nullptr) {
        return fail(Error::from_errno(errno));
    }
    std::uint64_t count = 0;
    for (const auto& frame : selection->frame_paths) {
        if (auto placed =
                place_frame(frame, snapshot.frames_directory / clip_frame_file_name(count));
            !placed) {
            std::fclose(audio);
            return fail(std::move(placed.error()));
        }
        ++count;
    }
    const auto& bytes = selection->audio_bytes;
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), audio) == bytes.size();
    const int write_error = errno;
    const bool closed = std::fclose(audio) == 0;
    if (!written || !closed) {
        return fail(Error::from_errno(written ? errno : write_error));
    }
    if (count == 0) {
        return fail(kNoClipFrames);
    }
    {
        std::error_code ignored;
        fs::copy_file(snapshot.frames_directory / clip_frame_file_name((count - 1) / 2),
                      thumbnail_path, fs::copy_options::overwrite_existing, ignored);
    }
    const double duration = selection->duration_seconds;
    if (std::isfinite(duration) && duration > kEpsilon) {
        snapshot.duration_seconds = duration;
    } else if (std::isfinite(capture_rate) && capture_rate > kEpsilon) {
        snapshot.duration_seconds = static_cast<double>(count) / capture_rate;
    } else {
        snapshot.duration_seconds = 0.0;
    }
    snapshot.frame_rate = resolve_output_frame_rate(duration, count, capture_rate);
    snapshot.frame_count = count;
    snapshot.audio_frames = selection->audio_frames;
    return snapshot;
}

}  // namespace

Result<ClipEncodeSnapshot> create_clip_encode_snapshot(
    const ClipRecorderConfig& config, const std::vector<ClipRecordingSegment>& segments,
    std::optional<double> replay_length_seconds, const fs::path& output_path,
    const fs::path& thumbnail_path, std::uint32_t sample_rate, double capture_rate) {
    if (!config.gstreamer_runtime) {
        return fail(kClipEncoderUnavailable);
    }
    if (segments.empty()) {
        return fail(kNoClipFrames);
    }
    if (auto created = create_parent_directories(output_path); !created) {
        return fail(std::move(created.error()));
    }
    if (auto created = create_parent_directories(thumbnail_path); !created) {
        return fail(std::move(created.error()));
    }
    ClipEncodeSnapshot snapshot;
    snapshot.work_directory =
        fs::path(config.cache_directory) / ("encode-" + std::to_string(epoch_milliseconds()));
    snapshot.frames_directory = snapshot.work_directory / "frames";
    snapshot.audio_path = snapshot.work_directory / "audio.s16le";
    snapshot.output_path = output_path;
    snapshot.gstreamer_runtime = *config.gstreamer_runtime;
    snapshot.sample_rate = sample_rate;
    snapshot.high_quality = config.high_quality;
    if (auto created = create_clip_directories(snapshot.frames_directory); !created) {
        return fail(std::move(created.error()));
    }
    const fs::path work_directory = snapshot.work_directory;
    auto filled = fill_work_directory(std::move(snapshot), segments, replay_length_seconds,
                                      thumbnail_path, capture_rate);
    if (!filled) {
        remove_clip_tree(work_directory);
    }
    return filled;
}

Result<ClipRecordingResultPayload> run_clip_encode_snapshot(ClipEncodeSnapshot snapshot) {
    auto finished = run_gstreamer_clip_encoder(snapshot);
    Result<ClipRecordingResultPayload> result = [&]() -> Result<ClipRecordingResultPayload> {
        if (!finished) {
            return fail(std::move(finished.error()));
        }
        if (finished->succeeded()) {
            return ClipRecordingResultPayload{snapshot.duration_seconds};
        }
        const std::string text = utf8_lossy(finished->standard_error);
        return fail("Clip encoding failed: " + std::string(trim_white_space(text)));
    }();
    remove_clip_tree(snapshot.work_directory);
    return result;
}

}  // namespace lk
