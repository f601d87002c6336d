#pragma once

// Sine-tone measurements for resampler quality: level, frequency and
// everything that is not the tone (images, aliases, distortion).
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>
#include <vector>

namespace lk::test {

struct ToneFit {
    double amplitude = 0.0;
    double phase = 0.0;         // of sin(2 pi f t + phase), t in seconds from sample 0
    double residual_rms = 0.0;  // what the fitted sine (and offset) leaves
};

// Least-squares fit of a sin + b cos + c at `frequency` over samples
// [begin, begin + count) of a signal sampled at `rate`.
inline ToneFit fit_tone(std::span<const float> signal, double frequency, double rate,
                        std::size_t begin, std::size_t count) {
    double m[3][3] = {};
    double v[3] = {};
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    for (std::size_t n = begin; n < begin + count; ++n) {
        const double basis[3] = {std::sin(w * static_cast<double>(n)),
                                 std::cos(w * static_cast<double>(n)), 1.0};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                m[i][j] += basis[i] * basis[j];
            }
            v[i] += basis[i] * signal[n];
        }
    }
    // Solve the 3x3 normal equations by Cramer's rule.
    const auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
               a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    double x[3];
    for (int k = 0; k < 3; ++k) {
        double mk[3][3];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                mk[i][j] = j == k ? v[i] : m[i][j];
            }
        }
        x[k] = det(mk) / d;
    }
    ToneFit fit;
    fit.amplitude = std::hypot(x[0], x[1]);
    fit.phase = std::atan2(x[1], x[0]);
    double residual = 0.0;
    for (std::size_t n = begin; n < begin + count; ++n) {
        const double model = x[0] * std::sin(w * static_cast<double>(n)) +
                             x[1] * std::cos(w * static_cast<double>(n)) + x[2];
        residual += (signal[n] - model) * (signal[n] - model);
    }
    fit.residual_rms = std::sqrt(residual / static_cast<double>(count));
    return fit;
}

// The tone's actual frequency near `nominal`, from the phase drift between
// the two halves of the window (exact to well under a millihertz for a clean
// tone; a tone off by more than about 1 Hz shows up as a collapsed level).
inline double measure_frequency(std::span<const float> signal, double nominal, double rate,
                                std::size_t begin, std::size_t count) {
    const std::size_t half = count / 2;
    const ToneFit first = fit_tone(signal, nominal, rate, begin, half);
    const ToneFit second = fit_tone(signal, nominal, rate, begin + half, half);
    double drift = second.phase - first.phase;
    drift = std::remainder(drift, 2.0 * std::numbers::pi);
    const double seconds = static_cast<double>(half) / rate;
    return nominal + drift / (2.0 * std::numbers::pi * seconds);
}

inline double rms(std::span<const float> signal, std::size_t begin, std::size_t count) {
    double sum = 0.0;
    for (std::size_t n = begin; n < begin + count; ++n) {
        sum += static_cast<double>(signal[n]) * signal[n];
    }
    return std::sqrt(sum / static_cast<double>(count));
}

inline double decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

inline std::vector<float> sine(double frequency, double rate, std::size_t count, double amplitude) {
    std::vector<float> samples(count);
    const double w = 2.0 * std::numbers::pi * frequency / rate;
    for (std::size_t n = 0; n < count; ++n) {
        samples[n] = static_cast<float>(amplitude * std::sin(w * static_cast<double>(n)));
    }
    return samples;
}

}  // namespace lk::test
