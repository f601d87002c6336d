#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/audio_sample_batch.hpp"
#include "audio/float_sample_queue.hpp"
#include "audio/resampler.hpp"
#include "common/error.hpp"

namespace lk {

enum class ResamplerKind { none, sinc, cubic };

// Converts the core's interleaved 16-bit stereo audio to interleaved 16-bit
// stereo at the device rate. Playback speed enters through the input rate
// (the core's rate times the speed); low-rate sources get a fixed smoothing
// and soft-limiting stage. Owned and used by the runtime thread only.
//
// Resampling runs in fixed chunks of Resampler::kChunkFrames output frames;
// queues, chunk buffers and the result buffers are kept between calls, so a
// steady stream of batches allocates nothing.
class AudioOutputPipeline {
  public:
    // Input rates from this one up use the windowed-sinc resampler, lower
    // ones the cubic polynomial resampler.
    static constexpr std::uint32_t kSincMinimumInputRate = 40000;
    // Source rates below this one get the smoothing and soft-limiting stage.
    static constexpr std::uint32_t kSmoothingSourceRateLimit = 34001;

    static Result<AudioOutputPipeline> create(std::uint32_t source_rate, std::uint32_t input_rate,
                                              std::uint32_t output_rate);

    AudioOutputPipeline(AudioOutputPipeline&&) noexcept = default;
    AudioOutputPipeline& operator=(AudioOutputPipeline&&) noexcept = default;

    // Rebuilds the pipeline from its three rates, discarding queued input,
    // resampler history and smoothing state. On failure the pipeline is kept.
    Status reset();

    // Converts interleaved left/right samples (a trailing odd sample is
    // ignored). The result, possibly empty, stays valid until the next call
    // to process or reset; with resampling it is a multiple of the chunk.
    Result<std::span<const std::int16_t>> process(std::span<const std::int16_t> interleaved);
    Result<std::span<const std::int16_t>> process(const AudioSampleBatch& batch) {
        return process(std::span<const std::int16_t>(batch.samples));
    }

    [[nodiscard]] std::uint32_t source_rate() const { return source_rate_; }
    [[nodiscard]] std::uint32_t input_rate() const { return input_rate_; }
    [[nodiscard]] std::uint32_t output_rate() const { return output_rate_; }
    [[nodiscard]] ResamplerKind resampler_kind() const { return resampler_kind_; }
    [[nodiscard]] std::uint64_t output_chunk_frames() const { return output_chunk_frames_; }
    [[nodiscard]] bool low_rate_smoothing() const { return low_rate_smoothing_; }
    // Input frames waiting for the next resampling chunk.
    [[nodiscard]] std::size_t queued_input_frames() const { return queue_left_.size(); }

  private:
    AudioOutputPipeline(std::uint32_t source_rate, std::uint32_t input_rate,
                        std::uint32_t output_rate);

    Result<std::size_t> resample_queued();
    void smooth(std::size_t frames);
    void convert_to_output(std::size_t frames);
    void ensure_result_room(std::size_t frames);

    std::uint32_t source_rate_;
    std::uint32_t input_rate_;
    std::uint32_t output_rate_;
    ResamplerKind resampler_kind_ = ResamplerKind::none;
    std::unique_ptr<Resampler> resampler_;  // absent when input and output rates match
    std::uint64_t output_chunk_frames_ = 0;
    bool low_rate_smoothing_;
    float smoothing_left_ = 0.0f;  // previous filter output per channel
    float smoothing_right_ = 0.0f;
    FloatSampleQueue queue_left_;  // input not yet resampled
    FloatSampleQueue queue_right_;
    std::vector<float> result_left_;  // this call's frames before conversion
    std::vector<float> result_right_;
    std::vector<std::int16_t> output_;  // this call's converted samples
};

}  // namespace lk
