#pragma once

#include "video/screenshot_encoder.hpp"
#include "video/simd_kernels.hpp"

namespace lk {

// 8-bit RGBA PNG files (no interlacing, no extra chunks) from frames of any
// pixel format. Holds no state besides its mode, so one encoder may be shared
// by any number of threads.
//
// Standard mode (screenshots, save-state previews): per-row adaptive filters
// and deflate level 6. Fast mode (frame events, clip frames): the Sub filter
// on every row and a single-pass deflate made for speed.
class PngScreenshotEncoder final : public ScreenshotEncoder {
  public:
    explicit PngScreenshotEncoder(bool fast_mode);
    // Uses the given kernels instead of the best ones for this CPU.
    PngScreenshotEncoder(bool fast_mode, const SimdKernels& kernels);

    // Fails with "Unsupported screenshot pixel format: {label}" for an unknown
    // label, with the conversion's errors for a malformed frame, and with the
    // encoder's message when the image cannot be encoded (for example a frame
    // of width or height 0).
    Result<std::vector<std::uint8_t>> encode_png(const VideoFrame& frame) const override;

    [[nodiscard]] bool fast_mode() const { return fast_mode_; }

  private:
    bool fast_mode_;
    const SimdKernels* kernels_;
};

}  // namespace lk
