#include "video/raw_frame_stream_video_sink.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <utility>

#include <fmt/format.h>

#include "common/diagnostics.hpp"
#include "common/saturating.hpp"
#include "common/unique_fd.hpp"
#include "protocol/event_payloads.hpp"
#include "video/png_frame_event_video_sink.hpp"
#include "video/raw_frame_stream_token.hpp"
#include "video/raw_frame_stream_worker.hpp"
#include "video/video_worker_queue.hpp"

namespace lk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kLoopbackHost = "127.0.0.1";
constexpr std::uint16_t kStreamProtocolVersion = 1;

struct Listener {
    UniqueFd fd;
    std::uint16_t port = 0;
};

// A non-blocking TCP listener on 127.0.0.1 at a port the system picks.
Result<Listener> listen_on_loopback() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        return fail(Error::from_errno(errno));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), SOMAXCONN) != 0) {
        return fail(Error::from_errno(errno));
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        return fail(Error::from_errno(errno));
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        return fail(Error::from_errno(errno));
    }
    return Listener{std::move(fd), ntohs(bound.sin_port)};
}

}  // namespace

Result<std::unique_ptr<RawFrameStreamVideoSink>> RawFrameStreamVideoSink::create(
    RunnerEventEmitterHandle emitter, std::string session_id, double maximum_frames_per_second,
    RawFrameStreamVideoSinkOptions options) {
    auto listener = listen_on_loopback();
    if (!listener) {
        return fail(std::move(listener.error()));
    }
    std::string token = new_raw_frame_stream_token(session_id);

    OrderedJson payload;
    to_json(payload, RawFrameStreamReadyEventPayload{
                         .host = std::string(kLoopbackHost),
                         .port = listener->port,
                         .protocol_version = kStreamProtocolVersion,
                         .session_id = session_id,
                         .token = token,
                     });
    if (auto emitted = emitter->emit_event("rawFrameStreamReady", payload); !emitted) {
        return fail(std::move(emitted.error()));
    }

    auto queue = std::make_shared<VideoWorkerQueue>();
    auto worker = VideoWorkerThread::start(
        queue, "raw frame stream worker",
        [worker_state = std::make_shared<RawFrameStreamWorker>(
             std::move(listener->fd), std::move(token), queue, options.debug_logs,
             options.write_timeout)] { worker_state->run(); });
    if (!worker) {
        return fail(fmt::format("Failed to start the raw frame stream worker: {}",
                                worker.error().display()));
    }
    return std::unique_ptr<RawFrameStreamVideoSink>(
        new RawFrameStreamVideoSink(std::move(session_id), maximum_frames_per_second,
                                    std::move(options), std::move(queue), std::move(*worker)));
}

RawFrameStreamVideoSink::RawFrameStreamVideoSink(std::string session_id,
                                                 double maximum_frames_per_second,
                                                 RawFrameStreamVideoSinkOptions options,
                                                 std::shared_ptr<VideoWorkerQueue> queue,
                                                 VideoWorkerThread worker)
    : session_id_(std::move(session_id)),
      options_(std::move(options)),
      rate_cap_(maximum_frames_per_second),
      queue_(std::move(queue)),
      worker_(std::move(worker)) {}

RawFrameStreamVideoSink::~RawFrameStreamVideoSink() {
    static_cast<void>(stop());
}

bool RawFrameStreamVideoSink::wants_frame() const {
    return !stopped_ && rate_cap_.allows(options_.clock()) && !queue_->is_busy();
}

Status RawFrameStreamVideoSink::push_frame(VideoFrame frame) {
    if (stopped_) {
        return {};
    }
    const Clock::time_point now = options_.clock();
    if (!rate_cap_.allows(now)) {
        return {};
    }
    const bool taken = queue_->offer_if_idle([&] {
        return QueuedVideoFrame{
            .frame = std::move(frame),
            .session_id = session_id_,
            .queued_at = Clock::now(),
            .frame_index = next_frame_index_,
        };
    });
    if (!taken) {
        return {};  // the worker is busy: this frame is dropped, not queued behind
    }
    saturating_increment(next_frame_index_);
    rate_cap_.record_accepted(now);
    return {};
}

Status RawFrameStreamVideoSink::set_maximum_frames_per_second(double fps) {
    rate_cap_.set_maximum_frames_per_second(fps);
    return {};
}

Status RawFrameStreamVideoSink::stop() {
    stopped_ = true;
    return worker_.stop("Raw frame stream worker panicked.");
}

RawFrameStreamVideoSinkFactory::RawFrameStreamVideoSinkFactory(RunnerEventEmitterHandle emitter,
                                                               double maximum_frames_per_second)
    : emitter_(std::move(emitter)), maximum_frames_per_second_(maximum_frames_per_second) {}

std::unique_ptr<VideoSink> RawFrameStreamVideoSinkFactory::create_video_sink(
    const VideoSinkConfig& config) {
    auto sink =
        RawFrameStreamVideoSink::create(emitter_, config.session_id, maximum_frames_per_second_);
    if (sink) {
        return std::move(*sink);
    }
    video_debug("Raw frame stream unavailable; falling back to PNG frame events: {}",
                sink.error().display());
    return std::make_unique<PngFrameEventVideoSink>(emitter_, config.session_id,
                                                    maximum_frames_per_second_);
}

}  // namespace lk
