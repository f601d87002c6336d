#include "audio/cubic_resampler.hpp"

namespace lk {

Result<std::unique_ptr<Resampler>> CubicResampler::create(std::uint32_t input_rate,
                                                          std::uint32_t output_rate) {
    if (auto checked = check_rates(input_rate, output_rate); !checked) {
        return std::unexpected(std::move(checked.error()));
    }
    return std::unique_ptr<Resampler>(new CubicResampler(input_rate, output_rate));
}

// The four points are the input frames at -1, 0, 1 and 2 from the output position.
CubicResampler::CubicResampler(std::uint32_t input_rate, std::uint32_t output_rate)
    : Resampler(input_rate, output_rate, 1, 2) {}

void CubicResampler::render(std::span<const TapPosition> positions, const float* work_left,
                            const float* work_right, float* out_left, float* out_right) {
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const auto x = static_cast<float>(positions[i].frac);
        const float w0 = -x * (x - 1.0f) * (x - 2.0f) * (1.0f / 6.0f);
        const float w1 = (x + 1.0f) * (x - 1.0f) * (x - 2.0f) * 0.5f;
        const float w2 = -(x + 1.0f) * x * (x - 2.0f) * 0.5f;
        const float w3 = (x + 1.0f) * x * (x - 1.0f) * (1.0f / 6.0f);
        const float* const l = work_left + positions[i].first_tap;
        const float* const r = work_right + positions[i].first_tap;
        out_left[i] = w0 * l[0] + w1 * l[1] + w2 * l[2] + w3 * l[3];
        out_right[i] = w0 * r[0] + w1 * r[1] + w2 * r[2] + w3 * r[3];
    }
}

}  // namespace lk
