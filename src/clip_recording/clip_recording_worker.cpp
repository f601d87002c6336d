#include "clip_recording/clip_recording_worker.hpp"

#include <algorithm>

#include "clip_recording/clip_file_io.hpp"
#include "common/panic_report.hpp"
#include "common/saturating.hpp"

namespace lk {

namespace {

namespace control = clip_recording_control;
namespace data = clip_recording_data;

constexpr auto kDataWait = std::chrono::milliseconds(8);
constexpr auto kSegmentLength = std::chrono::seconds(2);

template <class T>
void reply_error(OneshotSender<Result<T>>& reply, Error error) {
    reply.send(std::unexpected(std::move(error)));
}

}  // namespace

ClipRecordingWorker::ClipRecordingWorker(ClipRecorderConfig config,
                                         Receiver<ClipRecordingControlMessage> control,
                                         Receiver<ClipRecordingDataMessage> data,
                                         std::uint32_t sample_rate, double capture_rate,
                                         std::shared_ptr<std::atomic<bool>> recording_active)
    : config_(std::move(config)),
      control_(std::move(control)),
      data_(std::move(data)),
      sample_rate_(sample_rate),
      capture_rate_(capture_rate),
      recording_active_(std::move(recording_active)) {}

ClipRecordingWorker::~ClipRecordingWorker() {
    if (encode_thread_ && encode_thread_->thread.joinable()) {
        encode_thread_->thread.join();
    }
}

void ClipRecordingWorker::run() {
    bool shutdown = false;
    while (!shutdown) {
        join_finished_encode();
        ClipRecordingControlMessage message;
        while (!shutdown && control_.try_recv(message) == RecvStatus::received) {
            handle_control(message, shutdown);
        }
        if (shutdown) {
            break;
        }
        ClipRecordingDataMessage item;
        const RecvStatus received = data_.recv_for(item, kDataWait);
        if (received == RecvStatus::closed) {
            break;
        }
        if (received == RecvStatus::received) {
            handle_data(item);
        }
    }
    (void)finalize_current_segment();
    if (encode_thread_) {
        encode_thread_->thread.join();
        encode_thread_.reset();
    }
    recording_active_->store(false, std::memory_order_release);
    remove_clip_tree(config_.cache_directory);
    // Requests still queued are dropped with the receivers, which closes their replies.
    control_.close();
    data_.close();
}

void ClipRecordingWorker::handle_control(ClipRecordingControlMessage& message, bool& shutdown) {
    std::visit(
        [&](auto& m) {
            using M = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<M, control::Pause>) {
                pause();
            } else if constexpr (std::is_same_v<M, control::Resume>) {
                resume();
            } else if constexpr (std::is_same_v<M, control::Status>) {
                m.reply.send(status());
            } else if constexpr (std::is_same_v<M, control::StartManualRecording>) {
                if (auto started = start_manual_recording(); started) {
                    m.reply.send(std::monostate{});
                } else {
                    reply_error(m.reply, std::move(started.error()));
                }
            } else if constexpr (std::is_same_v<M, control::StopManualRecording>) {
                stop_manual_recording(m);
            } else if constexpr (std::is_same_v<M, control::SaveReplay>) {
                save_replay(m);
            } else if constexpr (std::is_same_v<M, control::Shutdown>) {
                shutdown = true;
            }
        },
        message);
}

void ClipRecordingWorker::handle_data(ClipRecordingDataMessage& message) {
    if (!recording()) {
        return;
    }
    if (auto* audio = std::get_if<data::Audio>(&message)) {
        auto writer = ensure_current_segment();
        if (writer && (*writer)->push_audio_batch(audio->batch)) {
            prune_old_segments();
        }
        return;
    }
    auto& video = std::get<data::Video>(message);
    if (current_writer_ && Clock::now() - current_writer_->created_at() >= kSegmentLength) {
        if (!finalize_current_segment()) {
            return;
        }
    }
    auto png = png_encoder_.encode_png(video.frame);
    if (!png) {
        return;
    }
    auto writer = ensure_current_segment();
    if (writer && (*writer)->push_video_frame(*png)) {
        prune_old_segments();
    }
}

bool ClipRecordingWorker::recording() const {
    return !paused_ && clip_encoder_available(config_) &&
           (manual_started_at_.has_value() || config_.replay_buffer_enabled);
}

void ClipRecordingWorker::refresh_recording_active() {
    recording_active_->store(recording(), std::memory_order_release);
}

void ClipRecordingWorker::pause() {
    paused_ = true;
    recording_active_->store(false, std::memory_order_release);
    if (!current_writer_) {
        return;
    }
    ClipRecordingSegmentWriter writer = std::move(*current_writer_);
    current_writer_.reset();
    if (auto segment = writer.finish(sample_rate_, capture_rate_); segment) {
        keep_finished_segment(std::move(*segment));
    } else {
        remove_clip_tree(writer.directory());
    }
}

void ClipRecordingWorker::resume() {
    paused_ = false;
    refresh_recording_active();
}

ClipRecordingStatusPayload ClipRecordingWorker::status() const {
    const bool available = clip_encoder_available(config_);
    return ClipRecordingStatusPayload{
        available, manual_started_at_.has_value(), available && config_.replay_buffer_enabled,
        normalized_replay_length(config_.replay_length_seconds), std::nullopt};
}

Status ClipRecordingWorker::start_manual_recording() {
    if (auto idle = ensure_encode_available_and_idle(); !idle) {
        return idle;
    }
    if (manual_started_at_) {
        return {};
    }
    if (auto finalized = finalize_current_segment(); !finalized) {
        return finalized;
    }
    manual_started_at_ = Clock::now();
    refresh_recording_active();
    if (recording()) {
        if (auto writer = ensure_current_segment(); !writer) {
            manual_started_at_.reset();
            refresh_recording_active();
            return fail(std::move(writer.error()));
        }
    }
    return {};
}

void ClipRecordingWorker::stop_manual_recording(control::StopManualRecording& request) {
    if (auto idle = ensure_encode_available_and_idle(); !idle) {
        return reply_error(request.reply, std::move(idle.error()));
    }
    if (!manual_started_at_) {
        return reply_error(request.reply, Error(kNoManualClipRecording));
    }
    if (auto finalized = finalize_current_segment(); !finalized) {
        return reply_error(request.reply, std::move(finalized.error()));
    }
    std::vector<ClipRecordingSegment> selected;
    for (const auto& segment : segments_) {
        if (segment.finished_at >= *manual_started_at_) {
            selected.push_back(segment);
        }
    }
    auto snapshot =
        create_clip_encode_snapshot(config_, selected, std::nullopt, request.output_path,
                                    request.thumbnail_path, sample_rate_, capture_rate_);
    if (snapshot) {
        manual_started_at_.reset();
        refresh_recording_active();
    }
    if (recording()) {
        (void)ensure_current_segment();
    }
    if (!snapshot) {
        return reply_error(request.reply, std::move(snapshot.error()));
    }
    spawn_snapshot_encode(std::move(*snapshot), std::move(request.reply));
}

void ClipRecordingWorker::save_replay(control::SaveReplay& request) {
    if (auto idle = ensure_encode_available_and_idle(); !idle) {
        return reply_error(request.reply, std::move(idle.error()));
    }
    if (auto finalized = finalize_current_segment(); !finalized) {
        return reply_error(request.reply, std::move(finalized.error()));
    }
    const auto length =
        static_cast<double>(normalized_replay_length(request.replay_length_seconds));
    std::vector<ClipRecordingSegment> selected;
    double total = 0.0;
    for (auto it = segments_.rbegin(); it != segments_.rend(); ++it) {
        if (total >= length) {
            break;
        }
        total += it->duration_seconds;
        selected.push_back(*it);
    }
    std::reverse(selected.begin(), selected.end());
    auto snapshot =
        create_clip_encode_snapshot(config_, selected, length, request.output_path,
                                    request.thumbnail_path, sample_rate_, capture_rate_);
    if (recording()) {
        (void)ensure_current_segment();
    }
    if (!snapshot) {
        return reply_error(request.reply, std::move(snapshot.error()));
    }
    spawn_snapshot_encode(std::move(*snapshot), std::move(request.reply));
}

void ClipRecordingWorker::join_finished_encode() {
    if (encode_thread_ && encode_thread_->finished->load(std::memory_order_acquire)) {
        encode_thread_->thread.join();
        encode_thread_.reset();
    }
}

Result<ClipRecordingSegmentWriter*> ClipRecordingWorker::ensure_current_segment() {
    if (!current_writer_) {
        auto created =
            ClipRecordingSegmentWriter::create(config_.cache_directory, next_segment_index_);
        if (!created) {
            return fail(std::move(created.error()));
        }
        current_writer_.emplace(std::move(*created));
        next_segment_index_ = saturating_add(next_segment_index_, 1);
    }
    return &*current_writer_;
}

Status ClipRecordingWorker::finalize_current_segment() {
    if (!current_writer_) {
        return {};
    }
    ClipRecordingSegmentWriter writer = std::move(*current_writer_);
    current_writer_.reset();
    auto segment = writer.finish(sample_rate_, capture_rate_);
    if (!segment) {
        remove_clip_tree(writer.directory());
        return fail(std::move(segment.error()));
    }
    keep_finished_segment(std::move(*segment));
    return {};
}

void ClipRecordingWorker::keep_finished_segment(ClipRecordingSegment segment) {
    if (segment.frame_paths.empty()) {
        remove_clip_tree(segment.directory);
        return;
    }
    segments_.push_back(std::move(segment));
    prune_old_segments();
}

void ClipRecordingWorker::prune_old_segments() {
    const double window = clip_keep_window_seconds(config_);
    double total = 0.0;
    std::size_t keep_from = 0;  // index of the oldest segment kept
    for (std::size_t i = segments_.size(); i-- > 0;) {
        const auto& segment = segments_[i];
        if (total >= window && (!manual_started_at_ || segment.finished_at < *manual_started_at_)) {
            keep_from = i;
            break;
        }
        total += segment.duration_seconds;
    }
    for (std::size_t i = 0; i < keep_from; ++i) {
        remove_clip_tree(segments_.front().directory);
        segments_.pop_front();
    }
}

Status ClipRecordingWorker::ensure_encode_available_and_idle() {
    if (!clip_encoder_available(config_)) {
        return fail(kClipEncoderUnavailable);
    }
    if (encode_thread_) {
        if (!encode_thread_->finished->load(std::memory_order_acquire)) {
            return fail(kClipStillSaving);
        }
        encode_thread_->thread.join();
        encode_thread_.reset();
    }
    return {};
}

void ClipRecordingWorker::spawn_snapshot_encode(ClipEncodeSnapshot snapshot,
                                                ClipResultSender reply) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    try {
        std::thread thread([snapshot = std::move(snapshot), reply = std::move(reply),
                            finished]() mutable {
            try {
                reply.send(run_clip_encode_snapshot(std::move(snapshot)));
            } catch (...) {
                report_panic("clip encode thread", describe_exception(std::current_exception()));
            }
            finished->store(true, std::memory_order_release);
        });
        encode_thread_.emplace(EncodeThread{std::move(thread), std::move(finished)});
    } catch (const std::system_error& error) {
        // The thread could not start: the lambda, and with it the reply, is gone.
        (void)error;
    }
}

}  // namespace lk
