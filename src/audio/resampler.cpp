#include "audio/resampler.hpp"

#include <algorithm>

#include <fmt/format.h>

namespace lk {

Status Resampler::check_rates(std::uint32_t input_rate, std::uint32_t output_rate) {
    if (input_rate == 0 || output_rate == 0) {
        return fail("Resampler sample rates must be positive.");
    }
    const std::uint64_t in = input_rate;
    const std::uint64_t out = output_rate;
    if (in > out * kMaxRatio || out > in * kMaxRatio) {
        return fail(fmt::format(
            "Resampling from {} Hz to {} Hz is outside the supported ratio range of 1/{} to {}.",
            input_rate, output_rate, kMaxRatio, kMaxRatio));
    }
    return {};
}

Resampler::Resampler(std::uint32_t input_rate, std::uint32_t output_rate, std::size_t taps_before,
                     std::size_t taps_after)
    : input_rate_(input_rate),
      output_rate_(output_rate),
      taps_before_(taps_before),
      taps_after_(taps_after),
      history_frames_(taps_before + taps_after + 1),
      step_whole_(input_rate / output_rate),
      step_remainder_(input_rate % output_rate),
      positions_(kChunkFrames) {
    // The first chunk needs floor(511 x in / out) + taps_after + 1 frames; a
    // later one at most ceil(512 x in / out).
    const std::uint64_t in = input_rate;
    const std::uint64_t out = output_rate;
    const std::uint64_t first = (kChunkFrames - 1) * in / out + taps_after + 1;
    const std::uint64_t later = (kChunkFrames * in + out - 1) / out;
    input_frames_max_ = static_cast<std::size_t>(std::max(first, later));
    work_left_.assign(history_frames_ + input_frames_max_, 0.0f);
    work_right_.assign(history_frames_ + input_frames_max_, 0.0f);
}

std::size_t Resampler::input_frames_next() const {
    const std::uint64_t last_index =
        next_index_ +
        (next_fraction_ + (kChunkFrames - 1) * std::uint64_t{input_rate_}) / output_rate_;
    return static_cast<std::size_t>(last_index + taps_after_ + 1 - consumed_);
}

Status Resampler::process_chunk(std::span<const float> left, std::span<const float> right,
                                std::span<float> out_left, std::span<float> out_right) {
    const std::size_t needed = input_frames_next();
    if (left.size() != needed || right.size() != needed) {
        return fail(fmt::format("Resampler expected {} input frames per channel but got {} and {}.",
                                needed, left.size(), right.size()));
    }
    if (out_left.size() < kChunkFrames || out_right.size() < kChunkFrames) {
        return fail(
            fmt::format("Resampler output needs room for {} frames per channel.", kChunkFrames));
    }
    std::copy(left.begin(), left.end(),
              work_left_.begin() + static_cast<std::ptrdiff_t>(history_frames_));
    std::copy(right.begin(), right.end(),
              work_right_.begin() + static_cast<std::ptrdiff_t>(history_frames_));

    // Work index 0 holds input frame consumed_ - history_frames_.
    const double output_rate = output_rate_;
    for (TapPosition& position : positions_) {
        position.first_tap =
            static_cast<std::size_t>(next_index_ + history_frames_ - consumed_) - taps_before_;
        position.frac = static_cast<double>(next_fraction_) / output_rate;
        next_index_ += step_whole_;
        next_fraction_ += step_remainder_;
        if (next_fraction_ >= output_rate_) {
            next_fraction_ -= output_rate_;
            ++next_index_;
        }
    }
    render(positions_, work_left_.data(), work_right_.data(), out_left.data(), out_right.data());

    // Keep the last history_frames_ frames for the next chunk.
    const auto keep_from = static_cast<std::ptrdiff_t>(needed);
    const auto keep_to = static_cast<std::ptrdiff_t>(needed + history_frames_);
    std::copy(work_left_.begin() + keep_from, work_left_.begin() + keep_to, work_left_.begin());
    std::copy(work_right_.begin() + keep_from, work_right_.begin() + keep_to, work_right_.begin());
    consumed_ += needed;
    return {};
}

}  // namespace lk
