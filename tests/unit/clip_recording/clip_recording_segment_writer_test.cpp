// The segment writer: raw little-endian PCM, numbered frame files, duration.

#include <gtest/gtest.h>

#include "clip_recording/clip_recording_segment_writer.hpp"
#include "clip_test_support.hpp"

namespace lk {
namespace {

using namespace clip_test;

TEST(ClipRecordingSegmentWriter, WritesAudioAndFramesAndDescribesTheSegment) {
    TempDir dir;
    auto writer = ClipRecordingSegmentWriter::create(dir / "cache", 3);
    ASSERT_TRUE(writer) << writer.error().display();
    EXPECT_TRUE(fs::is_directory(dir / "cache/segment-00000003"));

    ASSERT_TRUE(writer->push_audio_batch(AudioSampleBatch{{1, -2, 0x1234, -32768}, 2}));
    // A batch larger than any internal chunk keeps its order.
    AudioSampleBatch big;
    for (int i = 0; i < 3000; ++i) {
        big.samples.push_back(static_cast<std::int16_t>(i));
    }
    big.frames = 1500;
    ASSERT_TRUE(writer->push_audio_batch(big));
    const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G'};
    ASSERT_TRUE(writer->push_video_frame(png));
    ASSERT_TRUE(writer->push_video_frame(png));

    auto segment = writer->finish(1000, 2.0);
    ASSERT_TRUE(segment) << segment.error().display();
    EXPECT_EQ(segment->directory, dir / "cache/segment-00000003");
    EXPECT_EQ(segment->audio_frames, 1502u);
    EXPECT_DOUBLE_EQ(segment->duration_seconds, 1.502);  // audio is longer than 2 frames at 2/s
    ASSERT_EQ(segment->frame_paths.size(), 2u);
    EXPECT_EQ(segment->frame_paths[1].filename(), "frame-00000001.png");
    EXPECT_EQ(read_text(segment->frame_paths[0]), std::string("\x89PNG"));

    const std::string audio = read_text(segment->audio_path);
    ASSERT_EQ(audio.size(), 1502u * 4);
    const std::string head("\x01\x00\xFE\xFF\x34\x12\x00\x80", 8);
    EXPECT_EQ(audio.substr(0, 8), head);
    EXPECT_EQ(static_cast<unsigned char>(audio[8 + 2 * 2999]), 2999 & 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(audio[8 + 2 * 2999 + 1]), 2999 >> 8);
}

TEST(ClipRecordingSegmentWriter, CreateAndFrameFailuresAreErrors) {
    TempDir dir;
    write_text(dir / "blocker", "a file where a directory should be");
    EXPECT_FALSE(ClipRecordingSegmentWriter::create(dir / "blocker", 0));

    auto writer = ClipRecordingSegmentWriter::create(dir / "cache", 0);
    ASSERT_TRUE(writer);
    fs::create_directory(dir / "cache/segment-00000000/frame-00000000.png");  // cannot be a file
    const std::vector<std::uint8_t> png = {1, 2, 3};
    EXPECT_FALSE(writer->push_video_frame(png));
    EXPECT_EQ(writer->video_frames(), 0u);
    auto segment = writer->finish(0, 0.0);
    ASSERT_TRUE(segment);
    EXPECT_TRUE(segment->frame_paths.empty());
    EXPECT_EQ(segment->duration_seconds, 0.0);
}

}  // namespace
}  // namespace lk
