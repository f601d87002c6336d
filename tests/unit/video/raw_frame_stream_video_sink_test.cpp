#include "video/raw_frame_stream_video_sink.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "raw_frame_stream_client.hpp"
#include "video/png_frame_event_video_sink.hpp"
#include "video/video_sink_config.hpp"
#include "video_test_support.hpp"

namespace lk {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;
using test::RawFrameMessage;
using test::RawFrameStreamClient;
using ::testing::HasSubstr;

constexpr auto kPatience = seconds(20);

// Records the announcement; a test may make emission fail.
class AnnouncementEmitter final : public RunnerEventEmitter {
  public:
    bool refuse = false;

    Status emit_event(std::string_view name, const OrderedJson& payload) override {
        const std::lock_guard lock(mutex_);
        names.emplace_back(name);
        payloads.push_back(payload);
        if (refuse) {
            return fail("Broken pipe (os error 32)");
        }
        return {};
    }
    Status emit_serialized_event(std::string_view envelope) override {
        const std::lock_guard lock(mutex_);
        serialized.emplace_back(envelope);
        return {};
    }

    std::vector<std::string> names;
    std::vector<OrderedJson> payloads;
    std::vector<std::string> serialized;

  private:
    std::mutex mutex_;
};

struct ManualClock {
    Clock::time_point now{seconds(1000)};
    RawFrameStreamVideoSinkOptions options(bool debug_logs = false) {
        RawFrameStreamVideoSinkOptions result;
        result.clock = [this] { return now; };
        result.debug_logs = debug_logs;
        return result;
    }
};

// A sink under test with its announcement, fed frames one second apart.
class StreamFixture {
  public:
    explicit StreamFixture(bool debug_logs = false, std::string session_id = "session-1",
                           milliseconds write_timeout = milliseconds(250))
        : emitter(std::make_shared<AnnouncementEmitter>()), session(std::move(session_id)) {
        RawFrameStreamVideoSinkOptions options = clock.options(debug_logs);
        options.write_timeout = write_timeout;
        auto created = RawFrameStreamVideoSink::create(emitter, session, 60.0, options);
        EXPECT_TRUE(created) << (created ? "" : created.error().message());
        if (created) {
            sink = std::move(*created);
        }
        if (emitter->payloads.size() == 1) {
            port = emitter->payloads[0].at("port").get<std::uint16_t>();
            token = emitter->payloads[0].at("token").get<std::string>();
        }
    }

    // Waits until the worker is idle, then pushes `frame` a second after the
    // previous one.
    void push_when_idle(const VideoFrame& frame) {
        clock.now += seconds(1);
        const auto deadline = Clock::now() + kPatience;
        while (!sink->wants_frame() && Clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(1));
        }
        ASSERT_TRUE(sink->wants_frame()) << "the worker never became idle";
        ASSERT_TRUE(sink->push_frame(frame));
    }

    // A client that sent `line` after connecting.
    RawFrameStreamClient connect(const std::string& line, int receive_buffer = 0) {
        auto client = RawFrameStreamClient::connect(port, receive_buffer);
        EXPECT_TRUE(client.has_value()) << "connection refused";
        if (!client) {
            std::abort();
        }
        EXPECT_TRUE(client->send_text(line));
        return std::move(*client);
    }

    // Pushes `frame` until `client` receives a message (the worker polls for
    // clients between frames, so the first frames may still be dropped).
    std::optional<RawFrameMessage> push_until_received(RawFrameStreamClient& client,
                                                       const VideoFrame& frame) {
        const auto deadline = Clock::now() + kPatience;
        while (Clock::now() < deadline) {
            push_when_idle(frame);
            if (!client.stays_silent(milliseconds(30))) {
                return client.read_message();
            }
        }
        return std::nullopt;
    }

    // A client that authenticated and has received its first message.
    RawFrameStreamClient streaming_client(const VideoFrame& frame, int receive_buffer = 0) {
        RawFrameStreamClient client = connect(token + "\n", receive_buffer);
        auto message = push_until_received(client, frame);
        EXPECT_TRUE(message.has_value()) << "the client never received a frame";
        return client;
    }

    ManualClock clock;
    std::shared_ptr<AnnouncementEmitter> emitter;
    std::string session;
    std::unique_ptr<RawFrameStreamVideoSink> sink;
    std::uint16_t port = 0;
    std::string token;
};

VideoFrame solid_rgba(std::uint8_t shade, std::uint32_t width = 4, std::uint32_t height = 2) {
    std::vector<std::uint8_t> bytes(std::size_t{width} * height * 4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(shade + i % 4);
    }
    return test::make_frame("rgba8888", std::move(bytes), std::uint64_t{width} * 4, width, height);
}

void expect_message_of(const RawFrameMessage& message, const VideoFrame& frame,
                       const std::string& session, std::uint64_t index) {
    EXPECT_EQ(message.magic, "LKRF");
    EXPECT_EQ(message.version, 1);
    EXPECT_EQ(message.header_length, 36);
    EXPECT_EQ(message.frame_index, index);
    EXPECT_EQ(message.width, frame.width);
    EXPECT_EQ(message.height, frame.height);
    EXPECT_EQ(message.stride, frame.width * 4);
    EXPECT_EQ(message.session_id, session);
    EXPECT_EQ(message.pixel_format, "rgba8888");
    EXPECT_EQ(message.pixels, test::reference_rgba(frame));
}

bool port_refuses_connections(std::uint16_t port) {
    return !RawFrameStreamClient::connect(port).has_value();
}

TEST(RawFrameStreamVideoSink, AnnouncesItsListenerAndStreamsEveryPixelFormatAsRgba) {
    StreamFixture f(/*debug_logs=*/false, "s\xC3\xA9ssion \"7\"");
    ASSERT_TRUE(f.sink);
    ASSERT_EQ(f.emitter->names, std::vector<std::string>{"rawFrameStreamReady"});
    const OrderedJson& ready = f.emitter->payloads[0];
    EXPECT_EQ(ready.dump(), OrderedJson({{"host", "127.0.0.1"},
                                         {"port", f.port},
                                         {"protocolVersion", 1},
                                         {"sessionId", f.session},
                                         {"token", f.token}})
                                .dump());
    EXPECT_EQ(f.token.size(), 64u);
    EXPECT_NE(f.port, 0);

    // No client yet: frames are accepted (indices advance) and discarded; the
    // rate cap drops early frames without using an index.
    for (int i = 0; i < 3; ++i) {
        f.push_when_idle(solid_rgba(10));
    }
    EXPECT_EQ(f.sink->next_frame_index(), 3u);
    f.clock.now += milliseconds(5);
    EXPECT_FALSE(f.sink->wants_frame());
    ASSERT_TRUE(f.sink->push_frame(solid_rgba(11)));
    EXPECT_EQ(f.sink->next_frame_index(), 3u);

    // A client sending the token with a carriage return is accepted; its first
    // message carries the index reached by then, not 0.
    RawFrameStreamClient client = f.connect(f.token + "\r\n");
    const VideoFrame first = solid_rgba(50);
    auto message = f.push_until_received(client, first);
    ASSERT_TRUE(message);
    ASSERT_GE(message->frame_index, 3u);
    expect_message_of(*message, first, f.session, f.sink->next_frame_index() - 1);

    const VideoFrame frames[] = {
        test::game_like_frame("rgb565", 256, 224),
        test::game_like_frame("xrgb8888", 64, 48, /*padding=*/12),
        test::game_like_frame("0rgb1555", 5, 3, /*padding=*/2),
        test::game_like_frame("rgba8888", 16, 16, /*padding=*/8),
    };
    for (const VideoFrame& frame : frames) {
        SCOPED_TRACE(frame.pixel_format);
        const std::uint64_t index = f.sink->next_frame_index();
        f.push_when_idle(frame);
        auto received = client.read_message();
        ASSERT_TRUE(received);
        expect_message_of(*received, frame, f.session, index);
    }
    ASSERT_TRUE(f.sink->stop());
}

TEST(RawFrameStreamVideoSink, TheSpecifiedRgb565FrameHasTheSpecifiedSizes) {
    StreamFixture f;
    RawFrameStreamClient client = f.streaming_client(solid_rgba(1));
    f.push_when_idle(test::game_like_frame("rgb565", 256, 224));
    auto message = client.read_message();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->stride, 1024u);
    EXPECT_EQ(message->pixel_format, "rgba8888");
    EXPECT_EQ(message->pixels.size(), 229376u);
}

TEST(RawFrameStreamVideoSink, WrongOrLateTokensAreRefusedAndTheRightOneStillWorks) {
    StreamFixture f(/*debug_logs=*/true);
    ::testing::internal::CaptureStderr();
    struct Case {
        const char* name;
        std::string line;
    };
    const Case cases[] = {
        {"trailing space", f.token + " \n"},
        {"another token", std::string(64, 'a') + "\n"},
        {"prefix only", f.token.substr(0, 63) + "\n"},
        {"nothing within 2 s", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawFrameStreamClient client = f.connect(c.line);
        // Frames keep flowing while the client is judged; none reaches it.
        const auto deadline = Clock::now() + kPatience;
        bool closed = false;
        while (!closed && Clock::now() < deadline) {
            f.push_when_idle(solid_rgba(3));
            closed = client.closed_by_peer(milliseconds(50));
        }
        EXPECT_TRUE(closed);
    }
    RawFrameStreamClient good = f.streaming_client(solid_rgba(4));
    ASSERT_TRUE(f.sink->stop());
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(log, HasSubstr("[lumenkite-video] Rejected raw frame stream client: "
                               "authentication token mismatch\n"));
    EXPECT_THAT(log, HasSubstr("[lumenkite-video] Rejected raw frame stream client: "
                               "Resource temporarily unavailable (os error 11)\n"));
    EXPECT_THAT(log, HasSubstr("[lumenkite-video] Raw frame stream client connected.\n"));
}

TEST(RawFrameStreamVideoSink, ASecondClientWaitsUntilTheFirstIsGone) {
    StreamFixture f;
    RawFrameStreamClient first = f.streaming_client(solid_rgba(1));
    RawFrameStreamClient second = f.connect(f.token + "\n");
    for (int i = 0; i < 3; ++i) {
        f.push_when_idle(solid_rgba(2));
        ASSERT_TRUE(first.read_message());
    }
    EXPECT_TRUE(second.stays_silent(milliseconds(100)));

    first.close();
    const VideoFrame frame = solid_rgba(9);
    auto message = f.push_until_received(second, frame);
    ASSERT_TRUE(message);
    expect_message_of(*message, frame, f.session, f.sink->next_frame_index() - 1);
}

// Client failures drop only the client and the frame: the runtime carries on
// and the next client authenticates with the same token.
TEST(RawFrameStreamVideoSink, ClientFailuresDropOnlyTheClient) {
    struct Case {
        const char* name;
        // Breaks the streaming client or the next frame; returns the frame to push.
        VideoFrame (*cause)(RawFrameStreamClient&);
    };
    const Case cases[] = {
        {"client closed its connection",
         [](RawFrameStreamClient& client) {
             client.close();
             return solid_rgba(5, 512, 512);
         }},
        {"unknown pixel format",
         [](RawFrameStreamClient&) {
             return test::make_frame("bgr24", std::vector<std::uint8_t>(24), 12, 4, 2);
         }},
        {"frame data shorter than its size",
         [](RawFrameStreamClient&) {
             return test::make_frame("rgba8888", std::vector<std::uint8_t>(8), 16, 4, 2);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamFixture f(/*debug_logs=*/true);
        ::testing::internal::CaptureStderr();
        {
            RawFrameStreamClient client = f.streaming_client(solid_rgba(1));
            const VideoFrame bad = c.cause(client);
            f.push_when_idle(bad);
            if (std::string(c.name) != "client closed its connection") {
                EXPECT_TRUE(client.closed_by_peer(kPatience));
            }
        }
        const VideoFrame next = solid_rgba(7);
        RawFrameStreamClient again = f.connect(f.token + "\n");
        auto message = f.push_until_received(again, next);
        ASSERT_TRUE(message);
        expect_message_of(*message, next, f.session, f.sink->next_frame_index() - 1);
        ASSERT_TRUE(f.sink->stop());
        EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                    HasSubstr("[lumenkite-video] Raw frame stream client disconnected: "));
    }
}

// A 16 MiB frame is far more than the socket buffers hold with a small receive
// buffer, so a client that does not read keeps the worker inside its write.
constexpr int kSmallReceiveBuffer = 64 * 1024;
VideoFrame big_frame(std::uint8_t shade) {
    return solid_rgba(shade, 2048, 2048);
}

TEST(RawFrameStreamVideoSink, FramesPushedWhileTheWorkerWritesAreDroppedNotQueued) {
    // A long write timeout: the client must not be dropped while it is slow
    // to start reading on a loaded machine.
    StreamFixture f(/*debug_logs=*/false, "session-1", /*write_timeout=*/milliseconds(30'000));
    RawFrameStreamClient client = f.streaming_client(solid_rgba(1), kSmallReceiveBuffer);
    const std::uint64_t first_index = f.sink->next_frame_index();
    f.push_when_idle(big_frame(20));
    for (const std::uint8_t shade : {std::uint8_t{30}, std::uint8_t{40}}) {
        f.clock.now += seconds(1);
        EXPECT_FALSE(f.sink->wants_frame());
        EXPECT_TRUE(f.sink->push_frame(solid_rgba(shade)));  // returns at once, dropped
    }
    EXPECT_EQ(f.sink->next_frame_index(), first_index + 1) << "dropped frames use no index";

    auto written = client.read_message();
    ASSERT_TRUE(written);
    EXPECT_EQ(written->frame_index, first_index);
    EXPECT_EQ(written->width, 2048u);

    const VideoFrame after = solid_rgba(60);
    f.push_when_idle(after);
    auto next = client.read_message();
    ASSERT_TRUE(next);
    expect_message_of(*next, after, f.session, first_index + 1);
}

TEST(RawFrameStreamVideoSink, AClientThatStopsReadingIsDroppedAfterTheWriteTimeout) {
    StreamFixture f(/*debug_logs=*/true);
    ::testing::internal::CaptureStderr();
    RawFrameStreamClient stalled = f.streaming_client(solid_rgba(1), kSmallReceiveBuffer);
    const std::uint64_t index = f.sink->next_frame_index();
    f.push_when_idle(big_frame(20));
    // The runtime is never held up: pushes return while the worker waits on
    // the stalled client, and the worker becomes idle again on its own.
    EXPECT_TRUE(f.sink->push_frame(big_frame(21)));
    f.push_when_idle(solid_rgba(22));
    EXPECT_TRUE(stalled.closed_by_peer(kPatience));

    RawFrameStreamClient next = f.connect(f.token + "\n");
    const VideoFrame frame = solid_rgba(70);
    auto message = f.push_until_received(next, frame);
    ASSERT_TRUE(message);
    EXPECT_GT(message->frame_index, index);
    expect_message_of(*message, frame, f.session, f.sink->next_frame_index() - 1);
    ASSERT_TRUE(f.sink->stop());
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("[lumenkite-video] Raw frame stream client disconnected: Resource "
                          "temporarily unavailable (os error 11)\n"));
}

TEST(RawFrameStreamVideoSink, StopDeliversTheWaitingFrameThenClosesClientAndListener) {
    StreamFixture f;
    RawFrameStreamClient client = f.streaming_client(solid_rgba(1));
    const VideoFrame last = solid_rgba(80);
    const std::uint64_t index = f.sink->next_frame_index();
    f.push_when_idle(last);
    ASSERT_TRUE(f.sink->stop());
    auto message = client.read_message();
    ASSERT_TRUE(message);
    expect_message_of(*message, last, f.session, index);
    EXPECT_TRUE(client.closed_by_peer(kPatience));
    EXPECT_TRUE(port_refuses_connections(f.port));
    EXPECT_TRUE(f.sink->stop()) << "a second stop succeeds";
    EXPECT_FALSE(f.sink->wants_frame());
}

TEST(RawFrameStreamVideoSink, StopWithoutAClientClosesTheListener) {
    StreamFixture f;
    f.push_when_idle(solid_rgba(1));
    ASSERT_TRUE(f.sink->stop());
    EXPECT_TRUE(port_refuses_connections(f.port));
    EXPECT_TRUE(f.sink->push_frame(solid_rgba(2)));  // ignored after stop
    EXPECT_EQ(f.sink->next_frame_index(), 1u);
}

TEST(RawFrameStreamVideoSink, SetMaximumFramesPerSecondAcceptsTheNextFrameAtOnce) {
    StreamFixture f;
    f.push_when_idle(solid_rgba(1));
    f.clock.now += milliseconds(1);
    // Wait for the worker to drop the frame (no client), so only the cap decides.
    const auto deadline = Clock::now() + kPatience;
    while (f.sink->wants_frame() == false && Clock::now() < deadline) {
        ASSERT_TRUE(f.sink->set_maximum_frames_per_second(60.0));
        std::this_thread::sleep_for(milliseconds(1));
    }
    EXPECT_TRUE(f.sink->wants_frame());
}

TEST(RawFrameStreamVideoSinkFactory, MakesARawStreamSinkThatAnnouncesItself) {
    auto emitter = std::make_shared<AnnouncementEmitter>();
    RawFrameStreamVideoSinkFactory factory(emitter, 30.0);
    VideoSinkConfig config;
    config.session_id = "factory-session";
    auto sink = factory.create_video_sink(config);
    ASSERT_NE(dynamic_cast<RawFrameStreamVideoSink*>(sink.get()), nullptr);
    ASSERT_EQ(emitter->payloads.size(), 1u);
    EXPECT_EQ(emitter->payloads[0].at("sessionId"), "factory-session");
    EXPECT_TRUE(sink->stop());
}

TEST(RawFrameStreamVideoSinkFactory, FallsBackToPngFrameEventsWhenTheAnnouncementFails) {
    auto emitter = std::make_shared<AnnouncementEmitter>();
    emitter->refuse = true;
    RawFrameStreamVideoSinkFactory factory(emitter, 1000.0);
    VideoSinkConfig config;
    config.session_id = "fallback";
    auto sink = factory.create_video_sink(config);
    ASSERT_NE(dynamic_cast<PngFrameEventVideoSink*>(sink.get()), nullptr);
    ASSERT_EQ(emitter->payloads.size(), 1u);
    EXPECT_TRUE(port_refuses_connections(emitter->payloads[0].at("port").get<std::uint16_t>()))
        << "the listener of the failed stream must be closed";

    // The fallback delivers the frames as PNG frame events for the same session.
    ASSERT_TRUE(sink->push_frame(solid_rgba(3)));
    ASSERT_TRUE(sink->stop());
    ASSERT_EQ(emitter->serialized.size(), 1u);
    const OrderedJson event = OrderedJson::parse(emitter->serialized[0]);
    EXPECT_EQ(event.at("name"), "frameReady");
    EXPECT_EQ(event.at("payload").at("sessionId"), "fallback");
}

}  // namespace
}  // namespace lk
