#include "libretro/audio_callbacks.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

#include "common/diagnostics.hpp"
#include "common/saturating.hpp"
#include "libretro/callback_runtime_state.hpp"

namespace lk::callback_bridge {

namespace {

constexpr std::uint64_t kProgressLineInterval = 44'100;

// Debug lines composed under the lock and written after it is released.
struct AudioDebugLines {
    std::optional<std::string> first_use;
    std::optional<std::string> progress;
    std::optional<std::string> overflow;

    void write() const {
        for (const auto* line : {&first_use, &progress, &overflow}) {
            if (*line) {
                write_diagnostic_line(kRunnerTag, **line);
            }
        }
    }
};

void note_progress(const CallbackRuntimeState& state, AudioDebugLines& lines) {
    const std::uint64_t total =
        saturating_add(state.sample_callback_frames, state.batch_callback_frames);
    if (total == 1 || (total != 0 && total % kProgressLineInterval == 0)) {
        lines.progress =
            fmt::format("Libretro audio callbacks: sampleFrames={} batchFrames={} totalFrames={}",
                        state.sample_callback_frames, state.batch_callback_frames, total);
    }
}

void push_batch(CallbackRuntimeState& state, AudioSampleBatch batch, std::uint64_t cut_frames,
                bool debug, AudioDebugLines& lines) {
    state.audio_queue.add_dropped_frames(cut_frames);
    const std::uint64_t dropped = cut_frames + state.audio_queue.push(std::move(batch));
    if (dropped != 0 && debug) {
        lines.overflow = fmt::format(
            "Libretro audio callback overflow: droppedFrames={} totalDroppedFrames={} "
            "queuedBatches={}",
            dropped, state.audio_queue.dropped_frames(), state.audio_queue.batch_count());
    }
}

}  // namespace

void audio_sample_callback(std::int16_t left, std::int16_t right) {
    try {
        const bool debug = runner_debug_logs_enabled();
        AudioDebugLines lines;
        {
            CallbackStateLock state;
            if (state->av_output_suppressed) {
                return;
            }
            state->sample_callback_frames = saturating_add(state->sample_callback_frames, 1);
            if (!state->sample_callback_logged) {
                state->sample_callback_logged = true;
                if (debug) {
                    lines.first_use = "Libretro audio callback in use: sample";
                }
            }
            if (debug) {
                note_progress(*state, lines);
            }
            push_batch(*state, AudioSampleBatch{{left, right}, 1}, 0, debug, lines);
        }
        lines.write();
    } catch (...) {
        // The frame is lost; nothing escapes into the core.
    }
}

std::size_t audio_sample_batch_callback(const std::int16_t* data, std::size_t frames) {
    try {
        {
            CallbackStateLock state;
            if (state->av_output_suppressed) {
                return frames;
            }
        }
        // Copy outside the lock. Only the newest frames that fit the queue are
        // copied; a count whose sample total cannot exist in memory is treated
        // as an empty delivery.
        AudioSampleBatch batch;
        std::uint64_t cut = 0;
        if (data != nullptr && frames != 0 &&
            frames <= std::numeric_limits<std::size_t>::max() / 2) {
            const std::size_t kept = static_cast<std::size_t>(
                std::min<std::uint64_t>(frames, AudioCallbackQueue::kMaxQueuedFrames));
            cut = frames - kept;
            const std::int16_t* first = data + (frames - kept) * 2;
            batch.samples.assign(first, first + kept * 2);
            batch.frames = kept;
        }

        const bool debug = runner_debug_logs_enabled();
        AudioDebugLines lines;
        {
            CallbackStateLock state;
            state->batch_callback_frames = saturating_add(state->batch_callback_frames, frames);
            if (!state->batch_callback_logged) {
                state->batch_callback_logged = true;
                if (debug) {
                    lines.first_use =
                        fmt::format("Libretro audio callback in use: batch firstFrames={}", frames);
                }
            }
            if (debug) {
                note_progress(*state, lines);
            }
            push_batch(*state, std::move(batch), cut, debug, lines);
        }
        lines.write();
    } catch (...) {
        // The batch is lost; nothing escapes into the core.
    }
    return frames;
}

std::vector<AudioSampleBatch> drain_audio_batches() {
    CallbackStateLock state;
    return state->audio_queue.drain();
}

}  // namespace lk::callback_bridge
