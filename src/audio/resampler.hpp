#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/error.hpp"

namespace lk {

// A fixed-ratio, two-channel resampler that runs in fixed output chunks: every
// chunk produces exactly kChunkFrames output frames and consumes a varying
// number of input frames, which input_frames_next() announces beforehand.
//
// Output frame k sits at input position k x input_rate / output_rate, tracked
// exactly in integers (no drift over long runs). Input before the first frame
// counts as silence, so output frame 0 is aligned with input frame 0; the
// kernel's look-ahead is what the first chunk asks for in addition.
class Resampler {
  public:
    static constexpr std::size_t kChunkFrames = 512;
    // Output rate / input rate must lie within [1 / kMaxRatio, kMaxRatio].
    static constexpr std::uint32_t kMaxRatio = 256;

    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;
    virtual ~Resampler() = default;

    [[nodiscard]] std::uint32_t input_rate() const { return input_rate_; }
    [[nodiscard]] std::uint32_t output_rate() const { return output_rate_; }
    // Input frames the next chunk consumes.
    [[nodiscard]] std::size_t input_frames_next() const;
    // The most input frames any chunk can ask for.
    [[nodiscard]] std::size_t input_frames_max() const { return input_frames_max_; }

    // Where one output frame's kernel sits in the work buffers: its first tap
    // and the fractional input position (0 <= frac < 1) of the output frame
    // relative to the input frame taps_before further on.
    struct TapPosition {
        std::size_t first_tap = 0;
        double frac = 0.0;
    };

    // Consumes exactly input_frames_next() frames per channel and writes
    // kChunkFrames frames per channel.
    Status process_chunk(std::span<const float> left, std::span<const float> right,
                         std::span<float> out_left, std::span<float> out_right);

  protected:
    // Rates must have passed check_rates.
    Resampler(std::uint32_t input_rate, std::uint32_t output_rate, std::size_t taps_before,
              std::size_t taps_after);

    static Status check_rates(std::uint32_t input_rate, std::uint32_t output_rate);

    // Computes kChunkFrames output frames per channel.
    virtual void render(std::span<const TapPosition> positions, const float* work_left,
                        const float* work_right, float* out_left, float* out_right) = 0;

  private:
    std::uint32_t input_rate_;
    std::uint32_t output_rate_;
    std::size_t taps_before_;     // input frames the kernel reads before the output position
    std::size_t taps_after_;      // and after it
    std::size_t history_frames_;  // taps_before_ + taps_after_ + 1
    std::size_t input_frames_max_;
    std::uint64_t step_whole_;         // input_rate / output_rate
    std::uint64_t step_remainder_;     // input_rate % output_rate
    std::uint64_t next_index_ = 0;     // input frame at or before the next output frame
    std::uint64_t next_fraction_ = 0;  // in units of 1 / output_rate
    std::uint64_t consumed_ = 0;       // input frames consumed so far
    // Per channel: history_frames_ frames of history, then the chunk's input.
    std::vector<float> work_left_;
    std::vector<float> work_right_;
    std::vector<TapPosition> positions_;
};

}  // namespace lk
