#pragma once

#include <cstdint>
#include <memory>

#include "audio/resampler.hpp"

namespace lk {

// Polynomial interpolating resampler of degree three: each output frame lies
// on the cubic (Lagrange) polynomial through the four nearest input frames.
// Cheap, for low-rate sources.
class CubicResampler final : public Resampler {
  public:
    static Result<std::unique_ptr<Resampler>> create(std::uint32_t input_rate,
                                                     std::uint32_t output_rate);

  protected:
    void render(std::span<const TapPosition> positions, const float* work_left,
                const float* work_right, float* out_left, float* out_right) override;

  private:
    CubicResampler(std::uint32_t input_rate, std::uint32_t output_rate);
};

}  // namespace lk
