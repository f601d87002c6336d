#include "video/png_frame_event_video_sink.hpp"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame_ready_test_support.hpp"
#include "video_test_support.hpp"

namespace lk {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using ::testing::HasSubstr;

constexpr auto kPatience = std::chrono::seconds(20);

// Records every frame line; a test may make it wait, fail or throw first.
class RecordingEmitter final : public RunnerEventEmitter {
  public:
    // Runs on the worker before a line is recorded; an error is returned to
    // the sink and the line is not recorded.
    std::function<Status(std::string_view)> before_emit;

    Status emit_event(std::string_view name, const OrderedJson&) override {
        ADD_FAILURE() << "frame events are written pre-serialized, got " << name;
        return {};
    }

    Status emit_serialized_event(std::string_view envelope) override {
        {
            const std::lock_guard lock(mutex_);
            ++attempts_;
            changed_.notify_all();
        }
        Status result = before_emit ? before_emit(envelope) : Status{};
        const std::lock_guard lock(mutex_);
        if (result) {
            lines_.emplace_back(envelope);
        }
        changed_.notify_all();
        return result;
    }

    // Waits until `count` emissions were started; false on timeout.
    bool wait_for_attempts(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return attempts_ >= count; });
    }
    bool wait_for_lines(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return lines_.size() >= count; });
    }
    std::vector<OrderedJson> payloads() {
        const std::lock_guard lock(mutex_);
        std::vector<OrderedJson> out;
        for (const std::string& line : lines_) {
            OrderedJson event = OrderedJson::parse(line);
            EXPECT_EQ(event.at("name"), "frameReady");
            out.push_back(event.at("payload"));
        }
        return out;
    }
    std::vector<std::uint64_t> frame_indices() {
        std::vector<std::uint64_t> out;
        for (const OrderedJson& payload : payloads()) {
            out.push_back(payload.at("frameIndex").get<std::uint64_t>());
        }
        return out;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t attempts_ = 0;        // guarded by mutex_
    std::vector<std::string> lines_;  // guarded by mutex_
};

// A gate the emitter waits at until the test opens it.
class Gate {
  public:
    void wait() {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;  // guarded by mutex_
};

// A clock the test moves by hand (read by the sink on the test's thread).
struct ManualClock {
    Clock::time_point now{std::chrono::seconds(1000)};
    PngFrameEventVideoSinkOptions options(bool debug_logs = false) {
        PngFrameEventVideoSinkOptions result;
        result.clock = [this] { return now; };
        result.debug_logs = debug_logs;
        return result;
    }
};

// A small frame of one colour, so frames are told apart by their pixels.
VideoFrame solid_frame(std::uint8_t shade, std::string label = "rgba8888") {
    std::vector<std::uint8_t> bytes(4 * 2 * 4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(shade + i % 4);
    }
    return test::make_frame(std::move(label), std::move(bytes), 16, 4, 2);
}

void expect_pixels_of(const OrderedJson& payload, const VideoFrame& frame) {
    const auto decoded = test::decode_png(test::png_of(payload));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, frame.width);
    EXPECT_EQ(decoded->height, frame.height);
    EXPECT_EQ(decoded->rgba, test::reference_rgba(frame));
}

// Waits until the test holds the only reference to `pixels` again, i.e. the
// sink and its worker have finished with the frame.
bool wait_until_released(const PixelBuffer& pixels) {
    const auto deadline = Clock::now() + kPatience;
    while (pixels.use_count() > 1) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

TEST(PngFrameEventVideoSink, EmitsOneFrameReadyLinePerFrameWithThePicture) {
    auto emitter = std::make_shared<RecordingEmitter>();
    ManualClock clock;
    const std::string session_id = "session \"7\"\n\xC3\xA9";
    PngFrameEventVideoSink sink(emitter, session_id, 60.0, clock.options());

    const VideoFrame frames[] = {
        test::game_like_frame("xrgb8888", 64, 48, /*padding=*/12),
        test::game_like_frame("rgb565", 33, 7),
        test::game_like_frame("0rgb1555", 5, 3, /*padding=*/2),
        test::game_like_frame("rgba8888", 16, 16),
    };
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        EXPECT_TRUE(sink.wants_frame());
        ASSERT_TRUE(sink.push_frame(frames[i]));
        ASSERT_TRUE(emitter->wait_for_lines(i + 1));
        clock.now += milliseconds(17);
    }
    ASSERT_TRUE(sink.stop());

    const auto payloads = emitter->payloads();
    ASSERT_EQ(payloads.size(), std::size(frames));
    for (std::size_t i = 0; i < payloads.size(); ++i) {
        SCOPED_TRACE(frames[i].pixel_format);
        const OrderedJson& payload = payloads[i];
        EXPECT_EQ(test::keys_of(payload),
                  (std::vector<std::string>{"dataUrl", "frameIndex", "height", "pixelFormat",
                                            "sessionId", "transport", "width"}));
        EXPECT_EQ(payload.at("frameIndex"), i);
        EXPECT_EQ(payload.at("width"), frames[i].width);
        EXPECT_EQ(payload.at("height"), frames[i].height);
        EXPECT_EQ(payload.at("pixelFormat"), frames[i].pixel_format);
        EXPECT_EQ(payload.at("sessionId"), session_id);
        EXPECT_EQ(payload.at("transport"), "png-data-url");
        expect_pixels_of(payload, frames[i]);
    }
    EXPECT_EQ(sink.replaced_frames(), 0u);
}

TEST(PngFrameEventVideoSink, RateCapDropsEarlyFramesWithoutUsingAnIndex) {
    auto emitter = std::make_shared<RecordingEmitter>();
    ManualClock clock;
    PngFrameEventVideoSink sink(emitter, "s", 60.0, clock.options());

    ASSERT_TRUE(sink.push_frame(solid_frame(10)));  // index 0
    ASSERT_TRUE(emitter->wait_for_lines(1));
    clock.now += milliseconds(5);
    EXPECT_FALSE(sink.wants_frame());
    const VideoFrame early = solid_frame(20);
    EXPECT_TRUE(sink.push_frame(early));  // dropped at once
    EXPECT_EQ(early.data.use_count(), 1) << "a dropped frame must not be kept";
    clock.now += milliseconds(12);
    EXPECT_TRUE(sink.wants_frame());
    ASSERT_TRUE(sink.push_frame(solid_frame(30)));  // index 1
    ASSERT_TRUE(emitter->wait_for_lines(2));

    // A new rate lets the very next frame through.
    clock.now += milliseconds(1);
    EXPECT_FALSE(sink.wants_frame());
    ASSERT_TRUE(sink.set_maximum_frames_per_second(60.0));
    EXPECT_TRUE(sink.wants_frame());
    ASSERT_TRUE(sink.push_frame(solid_frame(40)));  // index 2
    ASSERT_TRUE(emitter->wait_for_lines(3));
    ASSERT_TRUE(sink.stop());
    EXPECT_EQ(emitter->frame_indices(), (std::vector<std::uint64_t>{0, 1, 2}));
    expect_pixels_of(emitter->payloads()[1], solid_frame(30));

    // Over two simulated seconds of a 240 Hz source, about 60 per second pass.
    ManualClock fast_clock;
    auto quiet = std::make_shared<RecordingEmitter>();
    PngFrameEventVideoSink capped(quiet, "s", 60.0, fast_clock.options());
    const PixelBuffer shared = solid_frame(1).data;
    for (int i = 0; i < 480; ++i) {
        EXPECT_TRUE(capped.push_frame(VideoFrame{"rgba8888", shared, 16, 4, 2}));
        fast_clock.now += std::chrono::nanoseconds(4'166'667);
    }
    ASSERT_TRUE(capped.stop());
    EXPECT_GE(capped.next_frame_index(), 119u);
    EXPECT_LE(capped.next_frame_index(), 122u);
}

TEST(PngFrameEventVideoSink, RateWithoutAUsableValueFallsBackTo67Milliseconds) {
    for (const double rate : {0.0, -60.0, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(rate);
        auto emitter = std::make_shared<RecordingEmitter>();
        ManualClock clock;
        PngFrameEventVideoSink sink(emitter, "s", rate, clock.options());
        ASSERT_TRUE(sink.push_frame(solid_frame(1)));
        clock.now += milliseconds(66);
        EXPECT_FALSE(sink.wants_frame());
        clock.now += milliseconds(1);
        EXPECT_TRUE(sink.wants_frame());
        ASSERT_TRUE(sink.stop());
    }
}

TEST(PngFrameEventVideoSink, NewestFrameReplacesTheWaitingOneUnderBackpressure) {
    auto emitter = std::make_shared<RecordingEmitter>();
    Gate gate;
    std::atomic<int> emitted{0};
    emitter->before_emit = [&](std::string_view) {
        if (emitted.fetch_add(1) == 0) {
            gate.wait();  // the shell stalls on the first frame
        }
        return Status{};
    };
    ManualClock clock;
    PngFrameEventVideoSink sink(emitter, "s", 60.0, clock.options(/*debug_logs=*/true));

    testing::internal::CaptureStderr();
    ASSERT_TRUE(sink.push_frame(solid_frame(0)));  // index 0, held by the stalled emitter
    ASSERT_TRUE(emitter->wait_for_attempts(1));
    std::vector<PixelBuffer> replaced_pixels;
    for (std::uint8_t i = 1; i <= 121; ++i) {  // indices 1..121; only 121 survives
        clock.now += milliseconds(17);
        const VideoFrame frame = solid_frame(i);
        ASSERT_TRUE(sink.push_frame(frame));
        if (i < 121) {
            replaced_pixels.push_back(frame.data);
        }
    }
    EXPECT_EQ(sink.replaced_frames(), 120u);
    for (const PixelBuffer& pixels : replaced_pixels) {
        ASSERT_EQ(pixels.use_count(), 1) << "a replaced frame must be released";
    }
    gate.open();
    ASSERT_TRUE(sink.stop());
    const std::string log = testing::internal::GetCapturedStderr();

    EXPECT_EQ(emitter->frame_indices(), (std::vector<std::uint64_t>{0, 121}));
    expect_pixels_of(emitter->payloads()[1], solid_frame(121));
    const std::string prefix =
        "[lumenkite-runner] Replacing stale PNG frame under video backpressure: replacedFrames=";
    EXPECT_THAT(log, HasSubstr(prefix + "1\n"));
    EXPECT_THAT(log, HasSubstr(prefix + "60\n"));
    EXPECT_THAT(log, HasSubstr(prefix + "120\n"));
    std::size_t replacement_lines = 0;
    for (std::size_t at = log.find(prefix); at != std::string::npos;
         at = log.find(prefix, at + 1)) {
        ++replacement_lines;
    }
    EXPECT_EQ(replacement_lines, 3u);
    // The first frame's statistics are logged at once.
    EXPECT_THAT(log, ::testing::ContainsRegex(
                         R"(\[lumenkite-video\] frameWorker samples=1 avgQueuedMs=[0-9]+\.[0-9] )"
                         R"(maxQueuedMs=[0-9]+\.[0-9] avgEncodeMs=[0-9]+\.[0-9] )"
                         R"(maxEncodeMs=[0-9]+\.[0-9] avgEmitMs=[0-9]+\.[0-9] )"
                         R"(maxEmitMs=[0-9]+\.[0-9])"
                         "\n"));
}

TEST(PngFrameEventVideoSink, StopDeliversTheWaitingFrameJoinsAndDropsLaterFrames) {
    auto emitter = std::make_shared<RecordingEmitter>();
    Gate gate;
    std::atomic<int> emitted{0};
    emitter->before_emit = [&](std::string_view) {
        if (emitted.fetch_add(1) == 0) {
            gate.wait();
        }
        return Status{};
    };
    ManualClock clock;
    PngFrameEventVideoSink sink(emitter, "s", 60.0, clock.options());
    ASSERT_TRUE(sink.push_frame(solid_frame(0)));
    ASSERT_TRUE(emitter->wait_for_attempts(1));
    clock.now += milliseconds(17);
    ASSERT_TRUE(sink.push_frame(solid_frame(1)));  // waits in the slot

    // Stop while the worker is busy and a frame waits; release the worker a
    // little later so that the stop request is usually already made.
    std::thread opener([&] {
        std::this_thread::sleep_for(milliseconds(30));
        gate.open();
    });
    const Status stopped = sink.stop();
    opener.join();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(emitter->frame_indices(), (std::vector<std::uint64_t>{0, 1}))
        << "the waiting frame goes out before the worker ends";

    // The worker has ended: later frames are dropped and not kept.
    clock.now += milliseconds(100);
    EXPECT_FALSE(sink.wants_frame());
    const VideoFrame late = solid_frame(2);
    EXPECT_TRUE(sink.push_frame(late));
    EXPECT_EQ(late.data.use_count(), 1);
    EXPECT_TRUE(sink.stop()) << "a second stop succeeds";
    EXPECT_EQ(emitter->frame_indices().size(), 2u);
}

TEST(PngFrameEventVideoSink, FailedFramesAreSkippedAndTheWorkerGoesOn) {
    for (const bool debug_logs : {true, false}) {
        SCOPED_TRACE(debug_logs ? "debug logs on" : "debug logs off");
        auto emitter = std::make_shared<RecordingEmitter>();
        std::atomic<int> emitted{0};
        emitter->before_emit = [&](std::string_view) -> Status {
            if (emitted.fetch_add(1) == 0) {
                return fail(Error::from_errno(EPIPE));
            }
            return {};
        };
        ManualClock clock;
        PngFrameEventVideoSink sink(emitter, "s", 60.0, clock.options(debug_logs));

        testing::internal::CaptureStderr();
        ASSERT_TRUE(sink.push_frame(solid_frame(0)));  // index 0: the emitter fails
        ASSERT_TRUE(emitter->wait_for_attempts(1));
        clock.now += milliseconds(17);
        const VideoFrame unknown = solid_frame(1, "bgra8888");
        ASSERT_TRUE(sink.push_frame(unknown));  // index 1: cannot be encoded
        ASSERT_TRUE(wait_until_released(unknown.data));
        ASSERT_EQ(sink.replaced_frames(), 0u) << "the worker must have taken the frame";
        clock.now += milliseconds(17);
        const VideoFrame cut{"rgba8888", solid_frame(2).data.prefix(31), 16, 4, 2};
        ASSERT_TRUE(sink.push_frame(cut));  // index 2: data too short
        ASSERT_TRUE(wait_until_released(cut.data));
        clock.now += milliseconds(17);
        ASSERT_TRUE(sink.push_frame(solid_frame(3)));  // index 3: delivered
        ASSERT_TRUE(emitter->wait_for_lines(1));
        ASSERT_TRUE(sink.stop());
        const std::string log = testing::internal::GetCapturedStderr();

        EXPECT_EQ(emitter->frame_indices(), (std::vector<std::uint64_t>{3}));
        if (debug_logs) {
            const std::string prefix = "[lumenkite-runner] Failed to emit PNG frame event: ";
            EXPECT_THAT(log, HasSubstr(prefix + Error::from_errno(EPIPE).message() + "\n"));
            EXPECT_THAT(log, HasSubstr(prefix + "Unsupported screenshot pixel format: bgra8888\n"));
            EXPECT_THAT(log, HasSubstr(prefix + "Frame data is shorter than expected.\n"));
        } else {
            EXPECT_EQ(log, "") << "nothing is written without debug logs";
        }
    }
}

TEST(PngFrameEventVideoSink, WorkerEndedByAnExceptionIsReportedByStop) {
    auto emitter = std::make_shared<RecordingEmitter>();
    emitter->before_emit = [](std::string_view) -> Status {
        throw std::runtime_error("emitter exploded");
    };
    ManualClock clock;
    PngFrameEventVideoSink sink(emitter, "s", 60.0, clock.options());
    testing::internal::CaptureStderr();
    ASSERT_TRUE(sink.push_frame(solid_frame(0)));
    ASSERT_TRUE(emitter->wait_for_attempts(1));
    const Status stopped = sink.stop();
    const std::string log = testing::internal::GetCapturedStderr();

    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error().message(), "PNG frame event worker panicked.");
    EXPECT_THAT(log, HasSubstr("[lumenkite-runner] panic: PNG frame event worker: "
                               "emitter exploded\n"));
    EXPECT_TRUE(sink.stop()) << "the second stop finds no worker";
}

TEST(PngFrameEventVideoSink, DestroyingWithoutStopEndsTheWorker) {
    auto emitter = std::make_shared<RecordingEmitter>();
    const VideoFrame frame = solid_frame(5);
    {
        PngFrameEventVideoSink sink(emitter, "s", 60.0);
        ASSERT_TRUE(sink.push_frame(frame));
    }
    EXPECT_EQ(emitter->frame_indices(), (std::vector<std::uint64_t>{0}));
    EXPECT_EQ(frame.data.use_count(), 1);
}

TEST(PngFrameEventVideoSinkFactory, MakesSinksForTheSessionAtTheConfiguredRate) {
    auto emitter = std::make_shared<RecordingEmitter>();
    // One frame per 1000 s: after the first frame the sink wants no other.
    PngFrameEventVideoSinkFactory factory(emitter, 0.001);
    auto sink =
        factory.create_video_sink(VideoSinkConfig{"mgba", "gba", 60.0, "request-42", "auto"});
    ASSERT_NE(dynamic_cast<PngFrameEventVideoSink*>(sink.get()), nullptr);
    EXPECT_TRUE(sink->wants_frame());
    ASSERT_TRUE(sink->push_frame(solid_frame(9)));
    EXPECT_FALSE(sink->wants_frame());
    ASSERT_TRUE(sink->stop());
    const auto payloads = emitter->payloads();
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(payloads[0].at("sessionId"), "request-42");

    auto second = factory.create_video_sink(VideoSinkConfig{"mgba", "gba", 60.0, "other", ""});
    EXPECT_TRUE(second->wants_frame()) << "each session starts with its own cap";
    ASSERT_TRUE(second->stop());
}

}  // namespace
}  // namespace lk
