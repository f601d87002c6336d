// Building the encode work directory: which frames and audio a clip gets, the
// thumbnail, and cleaning up after failures.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "clip_recording/clip_encode_snapshot.hpp"
#include "clip_recording/clip_media_selection.hpp"
#include "clip_recording/clip_recording_messages.hpp"
#include "clip_test_support.hpp"

namespace lk {
namespace {

using namespace clip_test;

ClipRecorderConfig config_in(const fs::path& cache) {
    ClipRecorderConfig config;
    config.cache_directory = cache.string();
    config.gstreamer_runtime = GStreamerRuntimeConfig{"gst-launch-1.0", {}, {}, {}};
    return config;
}

std::vector<fs::path> encode_directories(const fs::path& cache) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(cache)) {
        if (entry.path().filename().string().starts_with("encode-")) {
            found.push_back(entry.path());
        }
    }
    return found;
}

std::uint64_t inode_of(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

// 20 segments of 2 s: 60 frames at 30/s and 200 audio frames at 100 Hz each.
std::vector<ClipRecordingSegment> forty_seconds(const fs::path& cache) {
    std::vector<ClipRecordingSegment> segments;
    for (std::uint64_t i = 0; i < 20; ++i) {
        segments.push_back(make_segment(cache / clip_segment_directory_name(i), 60, 200, 2.0,
                                        static_cast<std::int16_t>(i * 200)));
    }
    return segments;
}

TEST(ClipEncodeSnapshot, ReplayKeepsTheNewestFramesAndAudioAndTheMiddleThumbnail) {
    TempDir dir;
    const fs::path cache = dir / "cache";
    const auto segments = forty_seconds(cache);
    auto snapshot =
        create_clip_encode_snapshot(config_in(cache), segments, 30.0, dir / "clips/a/replay.mp4",
                                    dir / "thumbs/b/replay.png", 100, 30.0);
    ASSERT_TRUE(snapshot) << snapshot.error().display();
    EXPECT_EQ(snapshot->frame_count, 900u);
    EXPECT_DOUBLE_EQ(snapshot->duration_seconds, 30.0);
    EXPECT_DOUBLE_EQ(snapshot->frame_rate, 30.0);
    EXPECT_EQ(snapshot->audio_frames, 3000u);
    EXPECT_EQ(snapshot->sample_rate, 100u);
    EXPECT_EQ(snapshot->work_directory.parent_path(), cache);
    EXPECT_TRUE(snapshot->work_directory.filename().string().starts_with("encode-"));
    EXPECT_TRUE(fs::is_directory(dir / "clips/a"));

    // Frames are hard links under consecutive names, starting at overall frame 300.
    const fs::path first = snapshot->frames_directory / "frame-00000000.png";
    EXPECT_EQ(inode_of(first), inode_of(segments[5].frame_paths[0]));
    EXPECT_EQ(inode_of(snapshot->frames_directory / "frame-00000899.png"),
              inode_of(segments[19].frame_paths[59]));
    EXPECT_FALSE(fs::exists(snapshot->frames_directory / "frame-00000900.png"));
    // The thumbnail is clip frame 449, overall frame 749: segment 12, frame 29.
    EXPECT_EQ(read_text(dir / "thumbs/b/replay.png"), segments[12].frame_paths[29].string());

    // The newest 3000 of 4000 audio frames: the left samples of segments 5..19.
    const std::string audio = read_text(snapshot->audio_path);
    ASSERT_EQ(audio.size(), 3000u * 4);
    EXPECT_EQ(static_cast<unsigned char>(audio[0]) | static_cast<unsigned char>(audio[1]) << 8,
              1000);
    EXPECT_EQ(static_cast<unsigned char>(audio[4 * 2999]) |
                  static_cast<unsigned char>(audio[4 * 2999 + 1]) << 8,
              3999);
}

TEST(ClipEncodeSnapshot, ShortAudioIsPaddedWithSilenceAtItsEnd) {
    TempDir dir;
    const fs::path cache = dir / "cache";
    // 30 s of video, 25 s of audio at 100 Hz, and a segment without audio.
    std::vector<ClipRecordingSegment> segments = {
        make_segment(cache / "segment-00000000", 450, 2500, 25.0, 1),
        make_segment(cache / "segment-00000001", 450, 0, 15.0)};
    fs::remove(segments[1].audio_path);  // not read: it has no audio frames
    auto selection = select_clip_media(segments, 30.0, 100, 30.0);
    ASSERT_TRUE(selection) << selection.error().display();
    EXPECT_EQ(selection->frame_paths.size(), 900u);
    EXPECT_DOUBLE_EQ(selection->duration_seconds, 30.0);
    EXPECT_EQ(selection->audio_frames, 3000u);
    ASSERT_EQ(selection->audio_bytes.size(), 12000u);
    EXPECT_EQ(selection->audio_bytes[0], 1);
    EXPECT_EQ(selection->audio_bytes[4 * 2499], static_cast<std::uint8_t>(2500 & 0xFF));
    for (std::size_t i = 4 * 2500; i < 12000; ++i) {
        ASSERT_EQ(selection->audio_bytes[i], 0) << i;
    }

    // A manual clip keeps everything: 40 s, all frames; no sample rate, no audio.
    auto manual = select_clip_media(segments, std::nullopt, 0, 30.0);
    ASSERT_TRUE(manual);
    EXPECT_EQ(manual->frame_paths.size(), 900u);
    EXPECT_DOUBLE_EQ(manual->duration_seconds, 40.0);
    EXPECT_EQ(manual->audio_frames, 0u);
    EXPECT_TRUE(manual->audio_bytes.empty());
}

TEST(ClipEncodeSnapshot, AudioFileLongerThanItsCountIsCutAndZeroDurationUsesFrames) {
    TempDir dir;
    auto segment = make_segment(dir / "s", 3, 10, 0.0, 100);
    segment.audio_frames = 4;  // the file holds 10; only 4 count
    auto selection = select_clip_media({segment}, std::nullopt, 8, 2.0);
    ASSERT_TRUE(selection);
    EXPECT_DOUBLE_EQ(selection->duration_seconds, 1.5);  // 3 frames at 2/s
    EXPECT_EQ(selection->audio_frames, 12u);
    EXPECT_EQ(selection->audio_bytes[4 * 3], 103);
    EXPECT_EQ(selection->audio_bytes[4 * 4], 0);
}

TEST(ClipEncodeSnapshot, SingleFrameClip) {
    TempDir dir;
    const fs::path cache = dir / "cache";
    auto snapshot = create_clip_encode_snapshot(
        config_in(cache), {make_segment(cache / "segment-00000000", 1, 0, 0.05)}, std::nullopt,
        dir / "one.mp4", dir / "one.png", 0, 20.0);
    ASSERT_TRUE(snapshot) << snapshot.error().display();
    EXPECT_EQ(snapshot->frame_count, 1u);
    EXPECT_EQ(snapshot->audio_frames, 0u);
    EXPECT_EQ(read_text(dir / "one.png"), (cache / "segment-00000000/frame-00000000.png").string());
}

TEST(ClipEncodeSnapshot, FailuresLeaveNoWorkDirectory) {
    TempDir dir;
    const fs::path cache = dir / "cache";
    fs::create_directories(cache);
    ClipRecorderConfig no_encoder = config_in(cache);
    no_encoder.gstreamer_runtime.reset();
    auto segments = forty_seconds(cache);

    auto unavailable = create_clip_encode_snapshot(no_encoder, segments, 30.0, dir / "a.mp4",
                                                   dir / "a.png", 100, 30.0);
    ASSERT_FALSE(unavailable);
    EXPECT_EQ(unavailable.error().display(), kClipEncoderUnavailable);

    auto empty = create_clip_encode_snapshot(config_in(cache), {}, 30.0, dir / "x/a.mp4",
                                             dir / "x/a.png", 100, 30.0);
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().display(), kNoClipFrames);
    EXPECT_FALSE(fs::exists(dir / "x"));

    fs::remove(segments[19].audio_path);  // a read error
    auto unreadable = create_clip_encode_snapshot(config_in(cache), segments, 30.0, dir / "a.mp4",
                                                  dir / "a.png", 100, 30.0);
    ASSERT_FALSE(unreadable);
    EXPECT_EQ(unreadable.error().display(), "No such file or directory (os error 2)");

    fs::remove(segments[19].frame_paths[59]);  // neither linked nor copied
    segments[19].audio_frames = 0;
    auto missing_frame = create_clip_encode_snapshot(config_in(cache), segments, 30.0,
                                                     dir / "a.mp4", dir / "a.png", 100, 30.0);
    ASSERT_FALSE(missing_frame);
    EXPECT_TRUE(encode_directories(cache).empty());
    EXPECT_FALSE(fs::exists(dir / "a.png"));
}

}  // namespace
}  // namespace lk
