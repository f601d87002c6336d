#include "clip_recording/clip_recorder.hpp"

#include "clip_recording/clip_file_io.hpp"
#include "clip_recording/clip_recording_worker.hpp"
#include "common/panic_report.hpp"

namespace lk {

namespace {

template <class T>
void reply_unavailable(OneshotSender<Result<T>>& reply) {
    reply.send(std::unexpected(Error(kClipWorkerUnavailable)));
}

}  // namespace

Result<ClipRecorder> ClipRecorder::start(ClipRecorderConfig config, std::uint32_t sample_rate,
                                         double frames_per_second) {
    remove_clip_tree(config.cache_directory);
    if (auto created = create_clip_directories(config.cache_directory); !created) {
        return fail(std::move(created.error()));
    }
    auto [control_sender, control_receiver] = make_channel<ClipRecordingControlMessage>();
    auto [data_sender, data_receiver] =
        make_bounded_channel<ClipRecordingDataMessage>(kClipDataChannelCapacity);
    const double capture_rate = clip_capture_rate(frames_per_second, config.high_quality);

    ClipRecorder recorder;
    recorder.control_sender_ = std::move(control_sender);
    recorder.data_sender_ = std::move(data_sender);
    recorder.frame_interval_ = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / capture_rate));
    recorder.recording_active_ = std::make_shared<std::atomic<bool>>(
        clip_encoder_available(config) && config.replay_buffer_enabled);
    try {
        recorder.worker_ = std::thread([config = std::move(config),
                                        control = std::move(control_receiver),
                                        data = std::move(data_receiver), sample_rate, capture_rate,
                                        active = recorder.recording_active_]() mutable {
            try {
                ClipRecordingWorker worker(std::move(config), std::move(control), std::move(data),
                                           sample_rate, capture_rate, active);
                worker.run();
            } catch (...) {
                report_panic("clip recording worker", describe_exception(std::current_exception()));
                active->store(false, std::memory_order_release);
            }
        });
    } catch (const std::system_error& error) {
        return fail(Error(error.code().message(), ErrorKind::io));
    }
    return recorder;
}

ClipRecorder::~ClipRecorder() {
    shutdown();
}

void ClipRecorder::queue_video_frame(VideoFrame frame) {
    if (recording_active()) {
        (void)data_sender_.try_send(clip_recording_data::Video{std::move(frame)});
    }
}

void ClipRecorder::queue_audio_batch(AudioSampleBatch batch) {
    (void)data_sender_.try_send(clip_recording_data::Audio{std::move(batch)});
}

void ClipRecorder::send_control_or_reply(ClipRecordingControlMessage message) {
    // The worker closes its queue only when it ends, which this thread causes
    // (shutdown) or which follows a worker failure.
    if (!control_sender_.is_closed()) {
        (void)control_sender_.send(std::move(message));
        return;
    }
    std::visit(
        [](auto& m) {
            if constexpr (requires { m.reply; }) {
                reply_unavailable(m.reply);
            }  // Pause, Resume and Shutdown are dropped silently
        },
        message);
}

void ClipRecorder::shutdown() {
    if (!worker_.joinable()) {
        return;
    }
    (void)control_sender_.send(clip_recording_control::Shutdown{});
    worker_.join();
    control_sender_.reset();
    data_sender_.reset();
}

}  // namespace lk
