#include "audio/audio_output_pipeline.hpp"

#include <algorithm>
#include <cmath>

#include "audio/cubic_resampler.hpp"
#include "audio/sinc_resampler.hpp"

namespace lk {
namespace {

// Input frames per call that need no allocation from the start.
constexpr std::size_t kPreallocatedBatchFrames = 4096;

constexpr float kInputScale = 1.0f / 32768.0f;
constexpr float kOutputScale = 32767.0f;

constexpr float kSmoothingInput = 0.4f;
constexpr float kSmoothingHistory = 0.6f;
constexpr float kSmoothingGain = 0.75f;
constexpr float kSoftLimitKnee = 0.6714f;
constexpr float kSoftLimitSlope = 0.25f;

float soft_limit(float value) {
    float magnitude = std::fabs(value);
    if (magnitude > kSoftLimitKnee) {
        magnitude = std::min(1.0f, kSoftLimitKnee + (magnitude - kSoftLimitKnee) * kSoftLimitSlope);
    }
    return std::copysign(magnitude, value);  // not-a-number stays not-a-number
}

// Clamps to [-1, 1], scales by 32767 and rounds halves away from zero. The
// rounding runs in double precision, where adding one half to a scaled float
// is exact. Not-a-number becomes silence.
std::int16_t to_output_sample(float sample) {
    if (std::isnan(sample)) {
        return 0;
    }
    const float clamped = std::clamp(sample, -1.0f, 1.0f);
    const double scaled = static_cast<double>(clamped * kOutputScale);
    // |scaled| <= 32767, so the conversion (truncating toward zero) is exact
    // and the result already lies within the 16-bit range.
    return static_cast<std::int16_t>(static_cast<int>(scaled + std::copysign(0.5, scaled)));
}

}  // namespace

Result<AudioOutputPipeline> AudioOutputPipeline::create(std::uint32_t source_rate,
                                                        std::uint32_t input_rate,
                                                        std::uint32_t output_rate) {
    if (source_rate == 0 || input_rate == 0 || output_rate == 0) {
        return fail("Audio sample rates must be positive.");
    }
    AudioOutputPipeline pipeline(source_rate, input_rate, output_rate);
    if (input_rate != output_rate) {
        Result<std::unique_ptr<Resampler>> resampler =
            input_rate >= kSincMinimumInputRate ? SincResampler::create(input_rate, output_rate)
                                                : CubicResampler::create(input_rate, output_rate);
        if (!resampler) {
            return std::unexpected(std::move(resampler.error()));
        }
        pipeline.resampler_ = std::move(*resampler);
        pipeline.resampler_kind_ =
            input_rate >= kSincMinimumInputRate ? ResamplerKind::sinc : ResamplerKind::cubic;
        pipeline.output_chunk_frames_ = Resampler::kChunkFrames;
        // Room for a chunk's worth of leftover input plus several emulated
        // frames' batches, so that ordinary streams never grow the queues.
        const std::size_t working =
            pipeline.resampler_->input_frames_max() + kPreallocatedBatchFrames;
        pipeline.queue_left_.reserve(working);
        pipeline.queue_right_.reserve(working);
    }
    return pipeline;
}

AudioOutputPipeline::AudioOutputPipeline(std::uint32_t source_rate, std::uint32_t input_rate,
                                         std::uint32_t output_rate)
    : source_rate_(source_rate),
      input_rate_(input_rate),
      output_rate_(output_rate),
      low_rate_smoothing_(source_rate < kSmoothingSourceRateLimit) {}

Status AudioOutputPipeline::reset() {
    Result<AudioOutputPipeline> rebuilt = create(source_rate_, input_rate_, output_rate_);
    if (!rebuilt) {
        return std::unexpected(std::move(rebuilt.error()));
    }
    *this = std::move(*rebuilt);
    return {};
}

void AudioOutputPipeline::ensure_result_room(std::size_t frames) {
    if (result_left_.size() < frames) {
        result_left_.resize(2 * frames);  // headroom for batches of varying size
        result_right_.resize(2 * frames);
    }
}

Result<std::span<const std::int16_t>> AudioOutputPipeline::process(
    std::span<const std::int16_t> interleaved) {
    const std::size_t frames = interleaved.size() / 2;
    std::size_t result_frames = 0;
    if (!resampler_) {
        ensure_result_room(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            result_left_[i] = static_cast<float>(interleaved[2 * i]) * kInputScale;
            result_right_[i] = static_cast<float>(interleaved[2 * i + 1]) * kInputScale;
        }
        result_frames = frames;
    } else {
        float* const left = queue_left_.extend(frames);
        float* const right = queue_right_.extend(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            left[i] = static_cast<float>(interleaved[2 * i]) * kInputScale;
            right[i] = static_cast<float>(interleaved[2 * i + 1]) * kInputScale;
        }
        Result<std::size_t> resampled = resample_queued();
        if (!resampled) {
            return std::unexpected(std::move(resampled.error()));
        }
        result_frames = *resampled;
    }
    if (low_rate_smoothing_) {
        smooth(result_frames);
    }
    convert_to_output(result_frames);
    return std::span<const std::int16_t>(output_.data(), 2 * result_frames);
}

Result<std::size_t> AudioOutputPipeline::resample_queued() {
    std::size_t produced = 0;
    std::size_t needed = resampler_->input_frames_next();
    while (queue_left_.size() >= needed && queue_right_.size() >= needed) {
        ensure_result_room(produced + Resampler::kChunkFrames);
        const std::span<float> out_left(result_left_.data() + produced, Resampler::kChunkFrames);
        const std::span<float> out_right(result_right_.data() + produced, Resampler::kChunkFrames);
        if (Status step = resampler_->process_chunk(
                queue_left_.front(needed), queue_right_.front(needed), out_left, out_right);
            !step) {
            return std::unexpected(std::move(step.error()));
        }
        queue_left_.consume(needed);
        queue_right_.consume(needed);
        produced += Resampler::kChunkFrames;
        needed = resampler_->input_frames_next();
    }
    queue_left_.compact();
    queue_right_.compact();
    return produced;
}

void AudioOutputPipeline::smooth(std::size_t frames) {
    float state_left = smoothing_left_;
    float state_right = smoothing_right_;
    for (std::size_t i = 0; i < frames; ++i) {
        state_left = kSmoothingInput * result_left_[i] + kSmoothingHistory * state_left;
        state_right = kSmoothingInput * result_right_[i] + kSmoothingHistory * state_right;
        result_left_[i] = soft_limit(kSmoothingGain * state_left);
        result_right_[i] = soft_limit(kSmoothingGain * state_right);
    }
    smoothing_left_ = state_left;
    smoothing_right_ = state_right;
}

void AudioOutputPipeline::convert_to_output(std::size_t frames) {
    if (output_.size() < 2 * frames) {
        output_.resize(4 * frames);  // headroom for batches of varying size
    }
    for (std::size_t i = 0; i < frames; ++i) {
        output_[2 * i] = to_output_sample(result_left_[i]);
        output_[2 * i + 1] = to_output_sample(result_right_[i]);
    }
}

}  // namespace lk
