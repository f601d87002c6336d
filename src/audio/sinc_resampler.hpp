#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/resampler.hpp"

namespace lk {

// Band-limited windowed-sinc resampler: 64 taps, cutoff at 0.95 of the lower
// of the two Nyquist frequencies, a squared Blackman-Harris window, and a
// table of 128 filter phases between input frames with cubic (Lagrange)
// interpolation between neighbouring phases.
class SincResampler final : public Resampler {
  public:
    // The inner loop: portable 128-bit vectors, or AVX2 with FMA where the
    // processor has them (`best`). Both compute the same filter.
    enum class Kernel { portable, best };

    static constexpr std::size_t kSincLength = 64;
    static constexpr double kCutoff = 0.95;
    static constexpr std::size_t kOversampling = 128;

    static Result<std::unique_ptr<Resampler>> create(std::uint32_t input_rate,
                                                     std::uint32_t output_rate,
                                                     Kernel kernel = Kernel::best);
    // Whether `best` uses AVX2 on this processor.
    static bool has_avx2_kernel();

  protected:
    void render(std::span<const TapPosition> positions, const float* work_left,
                const float* work_right, float* out_left, float* out_right) override;

  private:
    SincResampler(std::uint32_t input_rate, std::uint32_t output_rate, bool use_avx2);

    // kOversampling + 3 rows of kSincLength taps: row r holds phase r - 1, so
    // that every phase in [0, kOversampling) has a neighbour on either side
    // and two on the right.
    std::vector<float> table_;
    bool use_avx2_;
};

}  // namespace lk
