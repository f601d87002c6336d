#include "video/standard_png_writer.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <span>

#include <libdeflate.h>

#include "video/png_container.hpp"

namespace lk {
namespace {

constexpr int kCompressionLevel = 6;

enum Filter : std::uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };
constexpr std::size_t kFilterCount = 5;

inline std::uint32_t signed_magnitude(std::uint8_t value) {
    return value < 128 ? value : 256u - value;
}

// Paeth's predictor in a branch-free form: with p = left + up - up_left, the
// distances |p - left|, |p - up|, |p - up_left| are |up - up_left|,
// |left - up_left| and |left + up - 2 up_left|.
inline std::uint8_t paeth_predictor(std::uint8_t left, std::uint8_t up, std::uint8_t up_left) {
    const int to_left = std::abs(int{up} - int{up_left});
    const int to_up = std::abs(int{left} - int{up_left});
    const int to_up_left = std::abs(int{left} + int{up} - 2 * int{up_left});
    const std::uint8_t up_or_up_left = to_up <= to_up_left ? up : up_left;
    return to_left <= to_up && to_left <= to_up_left ? left : up_or_up_left;
}

template <std::uint8_t kFilter>
inline std::uint8_t predict(std::uint8_t left, std::uint8_t up, std::uint8_t up_left) {
    if constexpr (kFilter == kSub) {
        return left;
    } else if constexpr (kFilter == kUp) {
        return up;
    } else if constexpr (kFilter == kAverage) {
        return static_cast<std::uint8_t>((left + up) >> 1);
    } else if constexpr (kFilter == kPaeth) {
        return paeth_predictor(left, up, up_left);
    } else {
        return 0;
    }
}

// Runs one filter over a row (`prev` is the row above, all zeros for the first
// row). With `out` it stores the filtered bytes; it always returns their sum
// of absolute signed values. Separate loops per filter let the compiler
// vectorise each one.
template <std::uint8_t kFilter, bool kStore>
std::uint64_t run_filter(const std::uint8_t* __restrict cur, const std::uint8_t* __restrict prev,
                         std::size_t size, std::uint8_t* __restrict out) {
    std::uint64_t sum = 0;
    const std::size_t head = size < 4 ? size : 4;
    for (std::size_t i = 0; i < head; ++i) {
        const auto value = static_cast<std::uint8_t>(cur[i] - predict<kFilter>(0, prev[i], 0));
        if constexpr (kStore) {
            out[i] = value;
        } else {
            sum += signed_magnitude(value);
        }
    }
    for (std::size_t i = 4; i < size; ++i) {
        const auto value =
            static_cast<std::uint8_t>(cur[i] - predict<kFilter>(cur[i - 4], prev[i], prev[i - 4]));
        if constexpr (kStore) {
            out[i] = value;
        } else {
            sum += signed_magnitude(value);
        }
    }
    return sum;
}

// The filter whose output has the smallest sum of absolute signed values (the
// first one on a tie).
std::uint8_t choose_filter(const std::uint8_t* cur, const std::uint8_t* prev, std::size_t size) {
    const std::array<std::uint64_t, kFilterCount> sums{
        run_filter<kNone, false>(cur, prev, size, nullptr),
        run_filter<kSub, false>(cur, prev, size, nullptr),
        run_filter<kUp, false>(cur, prev, size, nullptr),
        run_filter<kAverage, false>(cur, prev, size, nullptr),
        run_filter<kPaeth, false>(cur, prev, size, nullptr),
    };
    std::uint8_t best = kNone;
    for (std::uint8_t f = 1; f < kFilterCount; ++f) {
        if (sums[f] < sums[best]) {
            best = f;
        }
    }
    return best;
}

void apply_filter(std::uint8_t filter, const std::uint8_t* cur, const std::uint8_t* prev,
                  std::size_t size, std::uint8_t* out) {
    switch (filter) {
        case kSub:
            run_filter<kSub, true>(cur, prev, size, out);
            break;
        case kUp:
            run_filter<kUp, true>(cur, prev, size, out);
            break;
        case kAverage:
            run_filter<kAverage, true>(cur, prev, size, out);
            break;
        case kPaeth:
            run_filter<kPaeth, true>(cur, prev, size, out);
            break;
        default:
            run_filter<kNone, true>(cur, prev, size, out);
            break;
    }
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const {
        libdeflate_free_compressor(compressor);
    }
};

}  // namespace

Result<std::vector<std::uint8_t>> encode_standard_png(const FrameLayout& layout,
                                                      const SimdKernels& kernels) {
    if (auto status = check_png_dimensions(layout.width, layout.height); !status) {
        return std::unexpected(std::move(status.error()));
    }
    const std::size_t row_bytes = std::size_t{layout.width} * 4;
    const std::size_t line_bytes = row_bytes + 1;
    const std::size_t raw_size = line_bytes * layout.height;
    const bool convert = layout.format != PixelFormat::rgba8888;

    // Two converted rows (current and previous) and a zero row above the image.
    std::unique_ptr<std::uint8_t[]> scratch(new std::uint8_t[row_bytes * 3]);
    std::uint8_t* converted[2] = {scratch.get(), scratch.get() + row_bytes};
    std::uint8_t* zero_row = scratch.get() + 2 * row_bytes;
    std::fill_n(zero_row, row_bytes, std::uint8_t{0});

    std::unique_ptr<std::uint8_t[]> filtered(new std::uint8_t[raw_size]);
    const std::uint8_t* prev = zero_row;
    for (std::uint32_t r = 0; r < layout.height; ++r) {
        const std::uint8_t* cur = layout.row(r);
        if (convert) {
            std::uint8_t* target = converted[r & 1];
            kernels.convert_row[layout.format.value()](cur, target, layout.width);
            cur = target;
        }
        const std::uint8_t filter = choose_filter(cur, prev, row_bytes);
        std::uint8_t* line = filtered.get() + std::size_t{r} * line_bytes;
        line[0] = filter;
        apply_filter(filter, cur, prev, row_bytes, line + 1);
        prev = cur;
    }

    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(kCompressionLevel));
    if (!compressor) {
        return fail("PNG compressor could not be allocated.");
    }
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), raw_size);
    std::unique_ptr<std::uint8_t[]> stream(new std::uint8_t[bound]);
    const std::size_t size =
        libdeflate_zlib_compress(compressor.get(), filtered.get(), raw_size, stream.get(), bound);
    if (size == 0) {
        return fail("PNG compression failed.");
    }
    return assemble_png(layout.width, layout.height, std::span(stream.get(), size));
}

}  // namespace lk
