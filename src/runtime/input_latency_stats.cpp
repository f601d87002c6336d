#include "runtime/input_latency_stats.hpp"

#include <cmath>
#include <limits>

#include "common/diagnostics.hpp"

namespace lk {

namespace {

std::optional<double> difference(std::optional<double> later, std::optional<double> earlier) {
    if (!later || !earlier) {
        return std::nullopt;
    }
    return *later - *earlier;
}

}  // namespace

void InputLatencyStats::record(const runtime_command::InputTimings& t, double now_ms,
                               std::string_view core_id, std::string_view platform_id) {
    if (samples_ < std::numeric_limits<std::uint64_t>::max()) {
        ++samples_;
    }
    const std::array<std::optional<double>, 5> values{
        difference(t.main_received_at_epoch_ms, t.renderer_dispatched_at_epoch_ms),
        difference(t.runner_forwarded_at_epoch_ms, t.main_forwarded_at_epoch_ms),
        difference(now_ms, t.runner_forwarded_at_epoch_ms),
        difference(now_ms, t.input_sampled_at_epoch_ms),
        t.renderer_tick_delta_ms,
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& value = values[i];
        if (!value || !std::isfinite(*value) || *value < 0.0 || *value >= 30000.0) {
            continue;
        }
        metrics_[i].sum += *value;
        if (std::isnan(metrics_[i].max) || *value > metrics_[i].max) {
            metrics_[i].max = *value;
        }
    }
    if (last_summary_ms_ && now_ms - *last_summary_ms_ < 2000.0) {
        return;
    }
    last_summary_ms_ = now_ms;
    const double count = static_cast<double>(samples_);
    const auto avg = [&](std::size_t i) { return metrics_[i].sum / count; };
    const auto max = [&](std::size_t i) { return metrics_[i].max; };
    log_line(kInputTag,
             "latency core={} platform={} samples={} avgRendererToMainMs={:.1f} "
             "maxRendererToMainMs={:.1f} avgMainToRunnerMs={:.1f} maxMainToRunnerMs={:.1f} "
             "avgRunnerQueueMs={:.1f} maxRunnerQueueMs={:.1f} avgRendererToCoreMs={:.1f} "
             "maxRendererToCoreMs={:.1f} avgRendererTickMs={:.1f} maxRendererTickMs={:.1f}",
             core_id, platform_id, samples_, avg(0), max(0), avg(1), max(1), avg(2), max(2), avg(3),
             max(3), avg(4), max(4));
    samples_ = 0;
    metrics_ = {};
}

}  // namespace lk
