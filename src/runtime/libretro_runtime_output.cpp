// After-frame work of the runtime thread: audio and video to the sinks,
// timing changes and the hardware readback policy.

#include <chrono>
#include <cmath>
#include <limits>

#include "common/diagnostics.hpp"
#include "libretro/audio_callbacks.hpp"
#include "libretro/callback_runtime_state.hpp"
#include "libretro/hardware_render_negotiation.hpp"
#include "libretro/video_callback.hpp"
#include "runtime/libretro_runtime_state.hpp"

namespace lk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReadbackBudget = std::chrono::milliseconds(8);
constexpr auto kHeavyCooldown = std::chrono::milliseconds(180);
constexpr auto kCooldown = std::chrono::milliseconds(120);
constexpr double kPolicyFrameRateCap = 60.0;

void add_saturating(std::uint64_t& counter, std::uint64_t amount) {
    counter = amount > std::numeric_limits<std::uint64_t>::max() - counter
                  ? std::numeric_limits<std::uint64_t>::max()
                  : counter + amount;
}

}  // namespace

bool uses_hardware_render_frame_rate_limit_policy(std::string_view core_id,
                                                  std::string_view platform_id) {
    return core_id == "pcsx2" || core_id == "ppsspp" || core_id == "dolphin" ||
           core_id == "flycast" || platform_id == "ps2" || platform_id == "psp" ||
           platform_id == "wii" || platform_id == "gamecube" || platform_id == "dreamcast";
}

Status LibretroRuntime::drain_audio_to_sink() {
    std::vector<AudioSampleBatch> batches = callback_bridge::drain_audio_batches();
    for (auto& batch : batches) {
        add_saturating(cadence_audio_frames_, batch.frames);
        if (clip_recorder_ && clip_recorder_->recording_active()) {
            clip_recorder_->queue_audio_batch(batch);
        }
        if (auto pushed = audio_sink_->push_samples(std::move(batch)); !pushed) {
            return pushed;
        }
    }
    if (runner_debug_logs_enabled()) {
        const auto elapsed = Clock::now() - cadence_window_started_at_;
        if (elapsed >= std::chrono::seconds(3)) {
            const double seconds = std::chrono::duration<double>(elapsed).count();
            const double frames = static_cast<double>(cadence_frames_);
            const double audio = static_cast<double>(cadence_audio_frames_);
            runner_debug(
                "Runtime cadence: frames={} frameRate={:.2f} audioFrames={} "
                "audioFrameRate={:.2f} audioFramesPerFrame={:.2f}",
                cadence_frames_, frames / seconds, cadence_audio_frames_, audio / seconds,
                cadence_frames_ == 0 ? 0.0 : audio / frames);
            cadence_frames_ = 0;
            cadence_audio_frames_ = 0;
            cadence_window_started_at_ = Clock::now();
        }
    }
    return {};
}

Status LibretroRuntime::drain_video_to_sink() {
    std::optional<VideoFrame> frame = callback_bridge::take_current_frame();
    if (!frame) {
        return {};
    }
    std::optional<VideoFrame> clip_frame;
    if (const auto now = Clock::now(); clip_frame_due(now)) {
        clip_recorder_->last_frame_queued_at = now;
        clip_frame = *frame;
    }
    latest_frame_ = *frame;  // copies share the pixel buffer
    if (auto pushed = video_sink_->push_frame(std::move(*frame)); !pushed) {
        return pushed;
    }
    if (clip_frame) {
        clip_recorder_->queue_video_frame(std::move(*clip_frame));
    }
    return {};
}

bool LibretroRuntime::clip_frame_due(Clock::time_point now) const {
    if (!clip_recorder_ || !clip_recorder_->recording_active()) {
        return false;
    }
    const auto& last = clip_recorder_->last_frame_queued_at;
    return !last || now - *last >= clip_recorder_->frame_interval();
}

Result<bool> LibretroRuntime::capture_hardware_frame() {
    if (readback_skip_until_) {
        if (Clock::now() < *readback_skip_until_) {
            return false;
        }
        readback_skip_until_.reset();
    }
    // A frame the sink does not want is still read back for a due clip frame,
    // except on cores whose readback is too heavy to do for clips alone.
    if (!video_sink_->wants_frame() &&
        (uses_heavy_video_readback_policy() || !clip_frame_due(Clock::now()))) {
        return false;
    }
    if (auto captured = callback_bridge::capture_pending_hardware_frame(); !captured) {
        return fail(std::move(captured.error()));
    }
    return true;
}

void LibretroRuntime::record_video_readback_duration(Clock::duration duration) {
    if (duration <= kReadbackBudget) {
        return;
    }
    add_saturating(readback_over_budget_count_, 1);
    const auto cooldown = uses_heavy_video_readback_policy() ? kHeavyCooldown : kCooldown;
    readback_skip_until_ = Clock::now() + cooldown;
    if (readback_over_budget_count_ == 1 || readback_over_budget_count_ % 30 == 0) {
        runner_debug(
            "Hardware video readback exceeded budget; skipping readbacks briefly so audio stays "
            "fed: durationMs={} budgetMs={} cooldownMs={} overBudgetCount={}",
            std::chrono::duration_cast<std::chrono::milliseconds>(duration).count(),
            kReadbackBudget.count(), cooldown.count(), readback_over_budget_count_);
    }
}

bool LibretroRuntime::uses_heavy_video_readback_policy() const {
    return config_.core_id == "pcsx2" || config_.core_id == "dolphin" ||
           config_.platform_id == "wii" || config_.platform_id == "ps2" ||
           config_.platform_id == "gamecube";
}

std::uint64_t LibretroRuntime::drop_pending_audio() {
    return callback_bridge::drain_audio_batches().size();
}

Status LibretroRuntime::process_system_av_info_update(FramePacer& pacer) {
    const auto update = callback_bridge::take_system_av_info_update();
    if (!update) {
        return {};
    }
    pacer.set_timing(update->timing.fps, pacer.speed());
    pacer.restart();
    const AudioStreamDescriptor descriptor =
        audio_stream_descriptor_for_core(update->timing.sample_rate, playback_speed_);
    if (audio_stream_ && describes_same_stream(*audio_stream_, descriptor)) {
        return audio_sink_->clear();
    }
    const std::uint64_t dropped = drop_pending_audio();
    runner_debug(
        "Reconfiguring desktop audio from AV update: sampleRate={:.2f} "
        "droppedPendingBatches={}",
        descriptor.sample_rate, dropped);
    if (auto configured = audio_sink_->configure(descriptor, config_.audio_playback_mode);
        !configured) {
        return configured;
    }
    audio_stream_ = descriptor;
    return {};
}

Status LibretroRuntime::reset_audio_after_timing_change() {
    if (!audio_stream_) {
        return audio_sink_->clear();
    }
    AudioStreamDescriptor descriptor = *audio_stream_;
    descriptor.playback_speed = clamp_playback_speed(playback_speed_);
    if (!(descriptor.source_sample_rate > 0.0 && std::isfinite(descriptor.source_sample_rate))) {
        descriptor.source_sample_rate = descriptor.sample_rate;
    }
    const std::uint64_t dropped = drop_pending_audio();
    runner_debug("Resetting audio timing: sourceRate={:.2f} speed={:.2f} droppedPendingBatches={}",
                 descriptor.sample_rate, descriptor.playback_speed, dropped);
    if (auto configured = audio_sink_->configure(descriptor, config_.audio_playback_mode);
        !configured) {
        return configured;
    }
    audio_stream_ = descriptor;
    return {};
}

Status LibretroRuntime::apply_configured_video_performance_policy() {
    if (!uses_hardware_render_frame_rate_limit_policy(config_.core_id, config_.platform_id)) {
        return {};
    }
    return video_sink_->set_maximum_frames_per_second(kPolicyFrameRateCap);
}

}  // namespace lk
