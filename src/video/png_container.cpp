#include "video/png_container.hpp"

#include <algorithm>
#include <array>

#include <libdeflate.h>

namespace lk {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
constexpr std::size_t kIhdrLength = 13;

void append_u32_be(std::vector<std::uint8_t>& out, std::uint32_t value) {
    const std::array<std::uint8_t, 4> bytes{
        static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
        static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Appends one chunk. The vector has its final capacity, so appending copies
// the data once and never zero-fills.
void append_chunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::uint8_t* data,
                  std::size_t length) {
    append_u32_be(out, static_cast<std::uint32_t>(length));
    const std::size_t type_offset = out.size();
    out.insert(out.end(), type, type + 4);
    if (length != 0) {
        out.insert(out.end(), data, data + length);
    }
    // The CRC covers the type and the data.
    append_u32_be(out, libdeflate_crc32(0, out.data() + type_offset, length + 4));
}

}  // namespace

Status check_png_dimensions(std::uint32_t width, std::uint32_t height) {
    constexpr std::uint32_t kMax = 0x7FFFFFFF;
    if (width == 0 || height == 0 || width > kMax || height > kMax) {
        return fail("PNG image dimensions must be between 1 and 2147483647 pixels.",
                    ErrorKind::invalid_data);
    }
    return {};
}

std::vector<std::uint8_t> assemble_png(std::uint32_t width, std::uint32_t height,
                                       std::span<const std::uint8_t> zlib_stream,
                                       std::size_t max_idat_length) {
    max_idat_length = std::clamp<std::size_t>(max_idat_length, 1, kMaxPngChunkLength);
    const std::size_t idat_count =
        zlib_stream.empty() ? 1 : (zlib_stream.size() + max_idat_length - 1) / max_idat_length;
    std::vector<std::uint8_t> png(kSignature.begin(), kSignature.end());
    png.reserve(kSignature.size() + kChunkOverhead + kIhdrLength + idat_count * kChunkOverhead +
                zlib_stream.size() + kChunkOverhead);

    std::array<std::uint8_t, kIhdrLength> ihdr{};
    const auto put_u32_be = [](std::uint8_t* out, std::uint32_t value) {
        out[0] = static_cast<std::uint8_t>(value >> 24);
        out[1] = static_cast<std::uint8_t>(value >> 16);
        out[2] = static_cast<std::uint8_t>(value >> 8);
        out[3] = static_cast<std::uint8_t>(value);
    };
    put_u32_be(ihdr.data(), width);
    put_u32_be(ihdr.data() + 4, height);
    ihdr[8] = 8;   // bit depth
    ihdr[9] = 6;   // colour type: RGBA
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // adaptive filtering
    ihdr[12] = 0;  // not interlaced
    append_chunk(png, "IHDR", ihdr.data(), ihdr.size());

    std::size_t offset = 0;
    do {
        const std::size_t length = std::min(max_idat_length, zlib_stream.size() - offset);
        append_chunk(png, "IDAT", zlib_stream.data() + offset, length);
        offset += length;
    } while (offset < zlib_stream.size());

    append_chunk(png, "IEND", nullptr, 0);
    return png;
}

}  // namespace lk
