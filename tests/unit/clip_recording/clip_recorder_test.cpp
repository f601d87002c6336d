// The recorder and its worker: the rolling replay buffer, manual recordings,
// pausing, the single encode at a time, and the texts of refused requests.

#include <gtest/gtest.h>

#include "clip_recording/clip_recorder.hpp"
#include "clip_test_support.hpp"

namespace lk {
namespace {

using namespace clip_test;
using namespace std::chrono_literals;
namespace control = clip_recording_control;

constexpr std::uint32_t kSampleRate = 100;  // 1000 audio frames make a 10 s segment

class ClipRecorderTest : public ::testing::Test {
  protected:
    ClipRecorderConfig config(bool replay_buffer, const std::string& launcher_prefix = {}) {
        ClipRecorderConfig c;
        c.cache_directory = (dir / "cache").string();
        c.gstreamer_runtime = GStreamerRuntimeConfig{
            fake_launcher(dir.path(), log, launcher_prefix).string(), {}, {}, {}};
        c.replay_buffer_enabled = replay_buffer;
        c.replay_length_seconds = 30;
        return c;
    }

    ClipRecorder start(ClipRecorderConfig c) {
        auto started = ClipRecorder::start(std::move(c), kSampleRate, 60.0);
        EXPECT_TRUE(started) << started.error().display();
        return std::move(*started);
    }

    static ClipRecordingStatusPayload status(ClipRecorder& recorder) {
        auto [reply, receiver] = make_oneshot<Result<ClipRecordingStatusPayload>>();
        recorder.send_control_or_reply(control::Status{std::move(reply)});
        Result<ClipRecordingStatusPayload> out = fail("no reply");
        if (receiver.recv_for(out, 10s) != RecvStatus::received) {
            ADD_FAILURE() << "no status reply";
        }
        return out.value_or(ClipRecordingStatusPayload{});
    }

    static Status start_manual(ClipRecorder& recorder) {
        auto [reply, receiver] = make_oneshot<Result<std::monostate>>();
        recorder.send_control_or_reply(control::StartManualRecording{std::move(reply)});
        Result<std::monostate> out = fail("no reply");
        (void)receiver.recv_for(out, 10s);
        return out ? Status{} : Status(fail(out.error()));
    }

    static PendingClipResult save(ClipRecorder& recorder, const fs::path& out,
                                  std::uint32_t length = 30) {
        auto [reply, receiver] = make_oneshot<ClipResult>();
        recorder.send_control_or_reply(
            control::SaveReplay{out.string(), out.string() + ".png", length, std::move(reply)});
        return std::move(receiver);
    }

    static PendingClipResult stop_manual(ClipRecorder& recorder, const fs::path& out) {
        auto [reply, receiver] = make_oneshot<ClipResult>();
        recorder.send_control_or_reply(
            control::StopManualRecording{out.string(), out.string() + ".png", std::move(reply)});
        return std::move(receiver);
    }

    static ClipResult wait(PendingClipResult& pending) {
        ClipResult out = fail("no reply");
        EXPECT_EQ(pending.recv_for(out, 20s), RecvStatus::received);
        return out;
    }

    fs::path segment(std::uint64_t index) const {
        return dir / "cache" / clip_segment_directory_name(index);
    }

    // One frame (after an audio batch of `audio_frames`) written to segment `index`.
    void record_frame(ClipRecorder& recorder, std::uint64_t index, std::uint64_t frame_number,
                      std::uint64_t audio_frames = 0) {
        if (audio_frames != 0) {
            recorder.queue_audio_batch(
                AudioSampleBatch{std::vector<std::int16_t>(audio_frames * 2, 7), audio_frames});
        }
        recorder.queue_video_frame(small_frame());
        const fs::path frame = segment(index) / clip_frame_file_name(frame_number);
        ASSERT_TRUE(eventually([&] { return fs::exists(frame); })) << frame;
    }

    // Pause then resume: closes the current segment. Status orders the two.
    void rotate(ClipRecorder& recorder) {
        recorder.send_control_or_reply(control::Pause{});
        recorder.send_control_or_reply(control::Resume{});
        (void)status(recorder);
    }

    TempDir dir;
    fs::path log = dir / "launcher.log";
};

TEST_F(ClipRecorderTest, StartEmptiesTheCacheAndShutdownRemovesIt) {
    write_text(dir / "cache/old/leftover", "x");
    auto c = config(true);
    c.replay_length_seconds = 45;
    ClipRecorder recorder = start(c);
    EXPECT_FALSE(fs::exists(dir / "cache/old"));
    EXPECT_TRUE(fs::is_directory(dir / "cache"));
    EXPECT_TRUE(recorder.recording_active());
    EXPECT_EQ(recorder.frame_interval(), std::chrono::milliseconds(50));  // 60 fps → 20 clip fps

    const auto s = status(recorder);
    EXPECT_TRUE(s.encoder_available);
    EXPECT_FALSE(s.manual_recording_active);
    EXPECT_TRUE(s.replay_buffer_active);
    EXPECT_EQ(s.replay_length_seconds, 45u);
    EXPECT_FALSE(s.status_message.has_value());

    record_frame(recorder, 0, 0);
    recorder.shutdown();
    EXPECT_FALSE(fs::exists(dir / "cache"));
    EXPECT_FALSE(recorder.recording_active());

    // Requests after the worker ended are answered, not lost.
    auto pending = save(recorder, dir / "late.mp4");
    auto late = wait(pending);
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().display(), kClipWorkerUnavailable);
    EXPECT_FALSE(start_manual(recorder));
}

TEST_F(ClipRecorderTest, CacheDirectoryThatCannotBeCreatedFailsTheStart) {
    write_text(dir / "file", "x");
    auto c = config(true);
    c.cache_directory = (dir / "file/cache").string();
    auto started = ClipRecorder::start(c, kSampleRate, 60.0);
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error().display(), "Not a directory (os error 20)");
}

TEST_F(ClipRecorderTest, ReplayBufferKeepsItsWindowAndSavesTheNewestSegments) {
    ClipRecorder recorder = start(config(true));
    for (std::uint64_t i = 0; i < 6; ++i) {
        record_frame(recorder, i, 0, 1000);  // 10 s of audio each
        rotate(recorder);
    }
    // Newest first: 10, 20, 30, 40 ≥ 34 at the fifth, which is the oldest kept.
    EXPECT_FALSE(fs::exists(segment(0)));
    for (std::uint64_t i = 1; i < 6; ++i) {
        EXPECT_TRUE(fs::exists(segment(i))) << i;
    }

    auto pending = save(recorder, dir / "clips/replay.mp4", 90);  // 90 counts as 30
    auto result = wait(pending);
    ASSERT_TRUE(result) << result.error().display();
    EXPECT_DOUBLE_EQ(result->duration_seconds, 30.0);
    EXPECT_EQ(read_text(dir / "clips/replay.mp4"), "clip\n");
    EXPECT_TRUE(fs::exists(dir / "clips/replay.mp4.png"));
    const std::string args = read_text(log);
    EXPECT_NE(args.find("\nstop-index=2\n"), std::string::npos)
        << args;  // three segments, one frame each
    EXPECT_NE(args.find("\nsample-rate=100\n"), std::string::npos);
    // Recording goes on into a fresh segment; indexes keep counting.
    record_frame(recorder, 6, 0);
}

TEST_F(ClipRecorderTest, PauseClosesTheSegmentAndDropsOneWithOnlyAudio) {
    ClipRecorder recorder = start(config(true));
    recorder.queue_audio_batch(AudioSampleBatch{{1, 2, 3, 4}, 2});
    ASSERT_TRUE(eventually([&] { return fs::exists(segment(0)); }));
    recorder.send_control_or_reply(control::Pause{});
    (void)status(recorder);
    EXPECT_FALSE(fs::exists(segment(0)));
    EXPECT_FALSE(recorder.recording_active());

    // While paused a manual start succeeds but records nothing until Resume.
    ASSERT_TRUE(start_manual(recorder));
    EXPECT_TRUE(status(recorder).manual_recording_active);
    EXPECT_FALSE(recorder.recording_active());
    EXPECT_FALSE(fs::exists(segment(1)));
    recorder.send_control_or_reply(control::Resume{});
    (void)status(recorder);
    EXPECT_TRUE(recorder.recording_active());
    record_frame(recorder, 1, 0);
}

TEST_F(ClipRecorderTest, ManualRecordingStartsStopsAndRefusesWhatItMust) {
    ClipRecorder recorder = start(config(false));
    EXPECT_FALSE(recorder.recording_active());
    EXPECT_FALSE(status(recorder).replay_buffer_active);

    // Nothing is written while idle, and a save finds nothing.
    recorder.queue_video_frame(small_frame());
    auto empty = save(recorder, dir / "none.mp4");
    auto nothing = wait(empty);
    ASSERT_FALSE(nothing);
    EXPECT_EQ(nothing.error().display(), kNoClipFrames);
    EXPECT_FALSE(fs::exists(segment(0)));

    auto no_manual = stop_manual(recorder, dir / "x.mp4");
    auto refused = wait(no_manual);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().display(), kNoManualClipRecording);

    ASSERT_TRUE(start_manual(recorder));
    EXPECT_TRUE(recorder.recording_active());
    EXPECT_TRUE(fs::is_directory(segment(0)));  // opened at the start
    ASSERT_TRUE(start_manual(recorder));        // a second start changes nothing
    record_frame(recorder, 0, 0, 50);
    record_frame(recorder, 0, 1);
    EXPECT_TRUE(status(recorder).manual_recording_active);

    auto pending = stop_manual(recorder, dir / "manual/clip.mp4");
    auto result = wait(pending);
    ASSERT_TRUE(result) << result.error().display();
    EXPECT_DOUBLE_EQ(result->duration_seconds, 0.5);  // 50 audio frames at 100 Hz
    EXPECT_NE(read_text(log).find("\nstop-index=1\n"), std::string::npos);
    EXPECT_FALSE(status(recorder).manual_recording_active);
    EXPECT_FALSE(recorder.recording_active());
    EXPECT_FALSE(fs::exists(segment(1)));  // no fresh segment without recording
}

TEST_F(ClipRecorderTest, AManualStopWithoutFramesKeepsTheRecordingRunning) {
    ClipRecorder recorder = start(config(false));
    ASSERT_TRUE(start_manual(recorder));
    recorder.queue_audio_batch(AudioSampleBatch{{1, 2}, 1});
    auto pending = stop_manual(recorder, dir / "clip.mp4");
    auto result = wait(pending);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), kNoClipFrames);
    EXPECT_TRUE(status(recorder).manual_recording_active);
    EXPECT_TRUE(recorder.recording_active());
}

TEST_F(ClipRecorderTest, OneEncodeAtATime) {
    const fs::path gate = dir / "gate";
    ClipRecorder recorder =
        start(config(true, "while [ ! -e '" + gate.string() + "' ]; do sleep 0.01; done\n"));
    record_frame(recorder, 0, 0);
    auto first = save(recorder, dir / "first.mp4");
    auto second = save(recorder, dir / "second.mp4");
    auto stop = stop_manual(recorder, dir / "s.mp4");
    for (auto* refused : {&second, &stop}) {
        auto result = wait(*refused);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().display(), kClipStillSaving);
    }
    ASSERT_FALSE(start_manual(recorder));
    EXPECT_EQ(start_manual(recorder).error().display(), kClipStillSaving);

    write_text(gate, "open");
    ASSERT_TRUE(wait(first));
    record_frame(recorder, 1, 0);
    auto next = save(recorder, dir / "next.mp4");
    EXPECT_TRUE(wait(next));
}

TEST_F(ClipRecorderTest, EncoderFailureReachesTheRequester) {
    ClipRecorder recorder = start(config(true, "echo 'no openh264enc' >&2\nexit 1\n"));
    record_frame(recorder, 0, 0);
    auto pending = save(recorder, dir / "clip.mp4");
    auto result = wait(pending);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().display(), "Clip encoding failed: no openh264enc");
    EXPECT_TRUE(fs::exists(dir / "clip.mp4.png"));  // the thumbnail was written before encoding
}

TEST_F(ClipRecorderTest, WithoutAnEncoderNothingIsRecorded) {
    auto c = config(true);
    c.gstreamer_runtime.reset();
    ClipRecorder recorder = start(c);
    EXPECT_FALSE(recorder.recording_active());
    recorder.queue_video_frame(small_frame());
    recorder.queue_audio_batch(AudioSampleBatch{{1, 2}, 1});
    const auto s = status(recorder);
    EXPECT_FALSE(s.encoder_available);
    EXPECT_FALSE(s.replay_buffer_active);
    EXPECT_EQ(s.replay_length_seconds, 30u);
    const auto start_result = start_manual(recorder);
    ASSERT_FALSE(start_result);
    EXPECT_EQ(start_result.error().display(), kClipEncoderUnavailable);
    auto pending = save(recorder, dir / "clip.mp4");
    auto saved = wait(pending);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().display(), kClipEncoderUnavailable);
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(fs::is_empty(dir / "cache"));
}

}  // namespace
}  // namespace lk
