#include "audio/sinc_resampler.hpp"

#include <immintrin.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace lk {
namespace {

constexpr std::size_t kTapsBefore = SincResampler::kSincLength / 2 - 1;
constexpr std::size_t kTapsAfter = SincResampler::kSincLength / 2;
constexpr std::size_t kTableRows = SincResampler::kOversampling + 3;

using Float4 = float __attribute__((vector_size(16)));
constexpr std::size_t kLanes = 4;

Float4 load4(const float* source) {
    Float4 value;
    std::memcpy(&value, source, sizeof value);
    return value;
}

Float4 splat(float value) {
    return Float4{value, value, value, value};
}

float sum_lanes(Float4 value) {
    return (value[0] + value[1]) + (value[2] + value[3]);
}

// The squared four-term Blackman-Harris window over [-L/2, L/2].
double window(double offset) {
    const double half = static_cast<double>(SincResampler::kSincLength) / 2.0;
    if (std::fabs(offset) >= half) {
        return 0.0;
    }
    const double x = 2.0 * std::numbers::pi * (offset + half) / (2.0 * half);
    const double w =
        0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2.0 * x) - 0.01168 * std::cos(3.0 * x);
    return w * w;
}

// Low-pass impulse response at `offset` input frames from the output position.
double impulse(double offset, double cutoff) {
    const double z = std::numbers::pi * cutoff * offset;
    const double sinc = std::fabs(z) < 1e-12 ? 1.0 : std::sin(z) / z;
    return cutoff * sinc * window(offset);
}

}  // namespace

bool SincResampler::has_avx2_kernel() {
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

Result<std::unique_ptr<Resampler>> SincResampler::create(std::uint32_t input_rate,
                                                         std::uint32_t output_rate, Kernel kernel) {
    if (auto checked = check_rates(input_rate, output_rate); !checked) {
        return std::unexpected(std::move(checked.error()));
    }
    const bool use_avx2 = kernel == Kernel::best && has_avx2_kernel();
    return std::unique_ptr<Resampler>(new SincResampler(input_rate, output_rate, use_avx2));
}

SincResampler::SincResampler(std::uint32_t input_rate, std::uint32_t output_rate, bool use_avx2)
    : Resampler(input_rate, output_rate, kTapsBefore, kTapsAfter),
      table_(kTableRows * kSincLength),
      use_avx2_(use_avx2) {
    // When reducing the rate, the cutoff follows the output's Nyquist.
    const double ratio = static_cast<double>(output_rate) / static_cast<double>(input_rate);
    const double cutoff = kCutoff * std::min(1.0, ratio);
    std::vector<double> row(kSincLength);
    for (std::size_t r = 0; r < kTableRows; ++r) {
        const double phase = (static_cast<double>(r) - 1.0) / static_cast<double>(kOversampling);
        double sum = 0.0;
        for (std::size_t k = 0; k < kSincLength; ++k) {
            const double offset = static_cast<double>(k) - static_cast<double>(kTapsBefore) - phase;
            row[k] = impulse(offset, cutoff);
            sum += row[k];
        }
        // Unity gain at DC for every phase.
        for (std::size_t k = 0; k < kSincLength; ++k) {
            table_[r * kSincLength + k] = static_cast<float>(row[k] / sum);
        }
    }
}

namespace {

struct PhaseWeights {
    std::size_t phase;  // the first of the four table rows
    float w[4];
};

// Lagrange weights for the table phases phase-1 .. phase+2 around `frac`.
PhaseWeights phase_weights(double frac) {
    constexpr double kPhases = static_cast<double>(SincResampler::kOversampling);
    const double position = frac * kPhases;
    const auto phase =
        std::min(static_cast<std::size_t>(position), SincResampler::kOversampling - 1);
    const double x = position - static_cast<double>(phase);
    return {phase,
            {static_cast<float>(-x * (x - 1.0) * (x - 2.0) / 6.0),
             static_cast<float>((x + 1.0) * (x - 1.0) * (x - 2.0) / 2.0),
             static_cast<float>(-(x + 1.0) * x * (x - 2.0) / 2.0),
             static_cast<float>((x + 1.0) * x * (x - 1.0) / 6.0)}};
}

void render_portable(const float* table, std::span<const Resampler::TapPosition> positions,
                     const float* work_left, const float* work_right, float* out_left,
                     float* out_right) {
    constexpr std::size_t kLength = SincResampler::kSincLength;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const PhaseWeights weights = phase_weights(positions[i].frac);
        const Float4 w0 = splat(weights.w[0]);
        const Float4 w1 = splat(weights.w[1]);
        const Float4 w2 = splat(weights.w[2]);
        const Float4 w3 = splat(weights.w[3]);
        const float* const r0 = table + weights.phase * kLength;
        const float* const r1 = r0 + kLength;
        const float* const r2 = r1 + kLength;
        const float* const r3 = r2 + kLength;
        const float* const left = work_left + positions[i].first_tap;
        const float* const right = work_right + positions[i].first_tap;

        Float4 sum_left[2] = {};
        Float4 sum_right[2] = {};
        for (std::size_t k = 0; k < kLength; k += 2 * kLanes) {
            for (std::size_t j = 0; j < 2; ++j) {
                const std::size_t at = k + j * kLanes;
                const Float4 tap = w0 * load4(r0 + at) + w1 * load4(r1 + at) + w2 * load4(r2 + at) +
                                   w3 * load4(r3 + at);
                sum_left[j] += tap * load4(left + at);
                sum_right[j] += tap * load4(right + at);
            }
        }
        out_left[i] = sum_lanes(sum_left[0] + sum_left[1]);
        out_right[i] = sum_lanes(sum_right[0] + sum_right[1]);
    }
}

__attribute__((target("avx2,fma"))) float sum_lanes_avx(__m256 value) {
    const __m128 folded =
        _mm_add_ps(_mm256_castps256_ps128(value), _mm256_extractf128_ps(value, 1));
    const __m128 pairs = _mm_add_ps(folded, _mm_movehl_ps(folded, folded));
    return _mm_cvtss_f32(_mm_add_ss(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
}

__attribute__((target("avx2,fma"))) void render_avx2(
    const float* table, std::span<const Resampler::TapPosition> positions, const float* work_left,
    const float* work_right, float* out_left, float* out_right) {
    constexpr std::size_t kLength = SincResampler::kSincLength;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const PhaseWeights weights = phase_weights(positions[i].frac);
        const __m256 w0 = _mm256_set1_ps(weights.w[0]);
        const __m256 w1 = _mm256_set1_ps(weights.w[1]);
        const __m256 w2 = _mm256_set1_ps(weights.w[2]);
        const __m256 w3 = _mm256_set1_ps(weights.w[3]);
        const float* const r0 = table + weights.phase * kLength;
        const float* const r1 = r0 + kLength;
        const float* const r2 = r1 + kLength;
        const float* const r3 = r2 + kLength;
        const float* const left = work_left + positions[i].first_tap;
        const float* const right = work_right + positions[i].first_tap;

        __m256 sum_left[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        __m256 sum_right[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        for (std::size_t k = 0; k < kLength; k += 16) {
            for (std::size_t j = 0; j < 2; ++j) {
                const std::size_t at = k + 8 * j;
                __m256 tap = _mm256_mul_ps(w0, _mm256_loadu_ps(r0 + at));
                tap = _mm256_fmadd_ps(w1, _mm256_loadu_ps(r1 + at), tap);
                tap = _mm256_fmadd_ps(w2, _mm256_loadu_ps(r2 + at), tap);
                tap = _mm256_fmadd_ps(w3, _mm256_loadu_ps(r3 + at), tap);
                sum_left[j] = _mm256_fmadd_ps(tap, _mm256_loadu_ps(left + at), sum_left[j]);
                sum_right[j] = _mm256_fmadd_ps(tap, _mm256_loadu_ps(right + at), sum_right[j]);
            }
        }
        out_left[i] = sum_lanes_avx(_mm256_add_ps(sum_left[0], sum_left[1]));
        out_right[i] = sum_lanes_avx(_mm256_add_ps(sum_right[0], sum_right[1]));
    }
}

}  // namespace

void SincResampler::render(std::span<const TapPosition> positions, const float* work_left,
                           const float* work_right, float* out_left, float* out_right) {
    if (use_avx2_) {
        render_avx2(table_.data(), positions, work_left, work_right, out_left, out_right);
    } else {
        render_portable(table_.data(), positions, work_left, work_right, out_left, out_right);
    }
}

}  // namespace lk
