#include "frame_image.hpp"

#include <openssl/evp.h>
#include <png.h>

#include <cstring>

namespace lk::e2e {

FrameImage::Pixel FrameImage::at(std::uint32_t x, std::uint32_t y) const {
    const std::size_t i = (std::size_t{y} * width + x) * 4;
    return Pixel{rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
}

std::optional<FrameImage> decode_png(const std::string& png_bytes) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png_bytes.data(), png_bytes.size())) {
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    FrameImage out;
    out.width = image.width;
    out.height = image.height;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return out;
}

std::optional<FrameImage> decode_data_url(const std::string& data_url) {
    static const std::string kPrefix = "data:image/png;base64,";
    if (data_url.rfind(kPrefix, 0) != 0) {
        return std::nullopt;
    }
    const std::string encoded = data_url.substr(kPrefix.size());
    std::string bytes(encoded.size() / 4 * 3 + 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       reinterpret_cast<const unsigned char*>(encoded.data()),
                                       static_cast<int>(encoded.size()));
    if (length < 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    while (padding < 2 && padding < encoded.size() &&
           encoded[encoded.size() - 1 - padding] == '=') {
        ++padding;
    }
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return decode_png(bytes);
}

std::uint32_t gba_rom_frame_counter(const FrameImage& image) {
    std::uint32_t value = 0;
    for (std::uint32_t bit = 0; bit < 16; ++bit) {
        if (image.at(8 + 14 * bit + 4, 144).r > 128) {
            value |= 1u << bit;
        }
    }
    return value;
}

bool gba_rom_shows_a_pressed(const FrameImage& image) {
    const auto pixel = image.at(120, 74);
    return pixel.g > 128 && pixel.r < 128;
}

}  // namespace lk::e2e
