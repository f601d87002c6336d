// Frame path costs, ours side by side with the physical limit (memcpy) and
// with libpng / OpenSSL as baselines, at emulator resolutions.
#include <openssl/evp.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/base64.hpp"
#include "emulator_frame.hpp"
#include "video/png_screenshot_encoder.hpp"
#include "video/rgba_conversion.hpp"

namespace lk::bench {
namespace {

constexpr std::uint32_t kSizes[][2] = {{256, 224}, {640, 480}, {1280, 960}};

std::uint32_t width_of(const benchmark::State& state) {
    return kSizes[state.range(0)][0];
}
std::uint32_t height_of(const benchmark::State& state) {
    return kSizes[state.range(0)][1];
}
PixelFormat format_of(const benchmark::State& state) {
    return *PixelFormat::from_value(static_cast<std::uint32_t>(state.range(1)));
}
// 0: portable kernels, 1: the best kernels for this CPU.
const SimdKernels& kernels_of(const benchmark::State& state) {
    return state.range(2) == 0 ? portable_simd_kernels() : best_simd_kernels();
}

void set_bytes_per_iteration(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

void label(benchmark::State& state, const std::string& what) {
    state.SetLabel(what + " " + std::to_string(width_of(state)) + "x" +
                   std::to_string(height_of(state)));
}

std::vector<std::uint8_t> rgba_picture(std::uint32_t width, std::uint32_t height) {
    const VideoFrame frame = emulator_frame(PixelFormat::rgba8888, width, height);
    return {frame.data.bytes().begin(), frame.data.bytes().end()};
}

// ---- conversion -----------------------------------------------------------

void BM_MemcpyRgba(benchmark::State& state) {
    const auto source = rgba_picture(width_of(state), height_of(state));
    std::vector<std::uint8_t> target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    set_bytes_per_iteration(state, source.size());
    label(state, "memcpy of the RGBA bytes");
}

void BM_ConvertToRgba(benchmark::State& state) {
    // Padded rows, so that tightly packed RGBA is converted too.
    const VideoFrame packed = emulator_frame(format_of(state), width_of(state), height_of(state));
    const std::size_t visible = packed.pitch;
    const std::size_t pitch = visible + 64;
    std::vector<std::uint8_t> padded(pitch * packed.height);
    for (std::uint32_t r = 0; r < packed.height; ++r) {
        std::memcpy(padded.data() + r * pitch, packed.data.data() + r * visible, visible);
    }
    const VideoFrame frame{packed.pixel_format, PixelBuffer::from_vector(std::move(padded)), pitch,
                           packed.width, packed.height};
    const SimdKernels& kernels = kernels_of(state);
    for (auto _ : state) {
        auto rgba =
            convert_frame_to_tightly_packed_rgba_with_kernels(frame, format_of(state), kernels);
        benchmark::DoNotOptimize(rgba->data());
    }
    set_bytes_per_iteration(state, std::size_t{frame.width} * frame.height * 4);
    label(state, std::string(format_of(state).label()) + " " + kernels.name);
}

// ---- PNG ------------------------------------------------------------------

void BM_PngOurs(benchmark::State& state, bool fast) {
    const VideoFrame frame = emulator_frame(format_of(state), width_of(state), height_of(state));
    const PngScreenshotEncoder encoder(fast, kernels_of(state));
    std::size_t size = 0;
    for (auto _ : state) {
        auto png = encoder.encode_png(frame);
        size = png->size();
        benchmark::DoNotOptimize(png->data());
    }
    state.counters["png_bytes"] = static_cast<double>(size);
    set_bytes_per_iteration(state, std::size_t{frame.width} * frame.height * 4);
    label(state, std::string(fast ? "fast " : "standard ") + std::string(format_of(state).label()) +
                     " " + kernels_of(state).name);
}

void BM_PngFast(benchmark::State& state) {
    BM_PngOurs(state, true);
}
void BM_PngStandard(benchmark::State& state) {
    BM_PngOurs(state, false);
}

void write_to_vector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

std::vector<std::uint8_t> libpng_encode(const std::vector<std::uint8_t>& rgba, std::uint32_t width,
                                        std::uint32_t height, int level, int filters) {
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, write_to_vector, nullptr);
    png_set_compression_level(png, level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::uint32_t r = 0; r < height; ++r) {
        png_write_row(png, rgba.data() + std::size_t{r} * width * 4);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

void BM_Libpng(benchmark::State& state, int level, int filters, const char* what) {
    const auto rgba = rgba_picture(width_of(state), height_of(state));
    std::size_t size = 0;
    for (auto _ : state) {
        auto png = libpng_encode(rgba, width_of(state), height_of(state), level, filters);
        size = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["png_bytes"] = static_cast<double>(size);
    set_bytes_per_iteration(state, rgba.size());
    label(state, what);
}

void BM_LibpngL1Sub(benchmark::State& state) {
    BM_Libpng(state, 1, PNG_FILTER_SUB, "libpng level 1 Sub, from RGBA");
}
void BM_LibpngL6AllFilters(benchmark::State& state) {
    BM_Libpng(state, 6, PNG_ALL_FILTERS, "libpng level 6 all filters, from RGBA");
}

// ---- Base64 and the frame event line -------------------------------------

std::vector<std::uint8_t> fast_png_640x480() {
    const VideoFrame frame = emulator_frame(PixelFormat::xrgb8888, 640, 480);
    return *PngScreenshotEncoder(true).encode_png(frame);
}

void BM_Base64Png(benchmark::State& state) {
    const auto png = fast_png_640x480();
    std::string text;
    for (auto _ : state) {
        text.clear();
        append_base64(text, png);
        benchmark::DoNotOptimize(text.data());
    }
    set_bytes_per_iteration(state, png.size());
    state.counters["png_bytes"] = static_cast<double>(png.size());
    state.SetLabel("append_base64, fast PNG of 640x480");
}

void BM_Base64PngOpenSsl(benchmark::State& state) {
    const auto png = fast_png_640x480();
    std::string text(base64_encoded_size(png.size()) + 1, '\0');
    for (auto _ : state) {
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), png.data(),
                        static_cast<int>(png.size()));
        benchmark::DoNotOptimize(text.data());
    }
    set_bytes_per_iteration(state, png.size());
    state.SetLabel("OpenSSL EVP_EncodeBlock, fast PNG of 640x480");
}

void BM_MemcpyBase64Text(benchmark::State& state) {
    const auto png = fast_png_640x480();
    const std::string source(base64_encoded_size(png.size()), 'A');
    std::string target(source.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    set_bytes_per_iteration(state, png.size());
    state.SetLabel("memcpy of the Base64 text");
}

// Everything the PNG frame worker does per 640x480 frame before the write:
// fast encode, then the event line built by hand into a reused buffer.
void BM_FrameEventLine640x480(benchmark::State& state) {
    const VideoFrame frame = emulator_frame(format_of(state), 640, 480);
    const PngScreenshotEncoder encoder(true);
    const std::string session_id = "5f0c6a1e-2d4b-4c1a-9b8e-7d6f5e4c3b2a";
    std::string line;
    std::uint64_t frame_index = 0;
    for (auto _ : state) {
        auto png = encoder.encode_png(frame);
        line.clear();
        line += R"({"name":"frameReady","payload":{"dataUrl":"data:image/png;base64,)";
        append_base64(line, *png);
        line += R"(","frameIndex":)";
        line += std::to_string(frame_index++);
        line += R"(,"height":480,"pixelFormat":")";
        line += frame.pixel_format;
        line += R"(","sessionId":")";
        line += session_id;
        line += R"(","transport":"png-data-url","width":640}})";
        benchmark::DoNotOptimize(line.data());
    }
    state.counters["line_bytes"] = static_cast<double>(line.size());
    state.SetLabel(std::string("fast PNG + data URL + JSON line, ") +
                   std::string(format_of(state).label()));
}

void size_args(benchmark::internal::Benchmark* b) {
    for (std::int64_t size = 0; size < 3; ++size) {
        b->Args({size});
    }
}

void size_format_path_args(benchmark::internal::Benchmark* b) {
    for (std::int64_t size = 0; size < 3; ++size) {
        for (std::int64_t format = 0; format < 4; ++format) {
            for (std::int64_t path = 0; path < 2; ++path) {
                b->Args({size, format, path});
            }
        }
    }
}

void png_args(benchmark::internal::Benchmark* b) {
    for (std::int64_t size = 0; size < 3; ++size) {
        b->Args({size, PixelFormat::rgba8888, 1});
        b->Args({size, PixelFormat::rgba8888, 0});
        b->Args({size, PixelFormat::rgb565, 1});
    }
}

BENCHMARK(BM_MemcpyRgba)->Apply(size_args);
BENCHMARK(BM_ConvertToRgba)->Apply(size_format_path_args);
BENCHMARK(BM_LibpngL1Sub)->Apply(size_args)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PngFast)->Apply(png_args)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibpngL6AllFilters)->Apply(size_args)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PngStandard)->Apply(png_args)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyBase64Text);
BENCHMARK(BM_Base64Png);
BENCHMARK(BM_Base64PngOpenSsl);
BENCHMARK(BM_FrameEventLine640x480)
    ->Args({1, PixelFormat::xrgb8888})
    ->Args({1, PixelFormat::rgba8888})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lk::bench

BENCHMARK_MAIN();
