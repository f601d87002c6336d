#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/error.hpp"

namespace lk {

// Longest chunk data the PNG format allows (2^31 - 1 bytes).
inline constexpr std::size_t kMaxPngChunkLength = 0x7FFFFFFF;

// Width and height must each be between 1 and 2^31 - 1. Fails with
// "PNG image dimensions must be between 1 and 2147483647 pixels." otherwise.
Status check_png_dimensions(std::uint32_t width, std::uint32_t height);

// A complete 8-bit RGBA, non-interlaced PNG file: signature, IHDR, the zlib
// stream split into IDAT chunks of at most `max_idat_length` bytes, IEND. No
// other chunks. The dimensions must have passed `check_png_dimensions`.
std::vector<std::uint8_t> assemble_png(std::uint32_t width, std::uint32_t height,
                                       std::span<const std::uint8_t> zlib_stream,
                                       std::size_t max_idat_length = kMaxPngChunkLength);

}  // namespace lk
