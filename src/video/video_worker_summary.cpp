#include "video/video_worker_summary.hpp"

#include <cmath>
#include <limits>

#include <fmt/format.h>

namespace lk {

VideoWorkerSummary::VideoWorkerSummary(bool enabled, std::string_view worker_name,
                                       std::string_view work_label)
    : enabled_(enabled), worker_name_(worker_name), work_label_(work_label) {}

void VideoWorkerSummary::Span::add(double value) {
    if (value > max || std::isnan(max)) {
        max = value;
    }
    sum += value;
}

std::optional<std::string> VideoWorkerSummary::record(const VideoWorkerTimings& timings,
                                                      Clock::time_point now) {
    if (!enabled_) {
        return std::nullopt;
    }
    if (samples_ != std::numeric_limits<std::uint64_t>::max()) {
        ++samples_;
    }
    queued_.add(timings.queued_ms);
    work_.add(timings.work_ms);
    emit_.add(timings.emit_ms);

    if (last_line_at_ && now - *last_line_at_ < std::chrono::seconds(2)) {
        return std::nullopt;
    }
    last_line_at_ = now;
    const auto average = [this](const Span& span) {
        return samples_ == 0 ? 0.0 : span.sum / static_cast<double>(samples_);
    };
    std::string line = fmt::format(
        "{} samples={} avgQueuedMs={:.1f} maxQueuedMs={:.1f} avg{}Ms={:.1f} max{}Ms={:.1f} "
        "avgEmitMs={:.1f} maxEmitMs={:.1f}",
        worker_name_, samples_, average(queued_), queued_.max, work_label_, average(work_),
        work_label_, work_.max, average(emit_), emit_.max);
    samples_ = 0;
    queued_ = {};
    work_ = {};
    emit_ = {};
    return line;
}

}  // namespace lk
