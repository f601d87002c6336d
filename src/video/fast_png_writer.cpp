#include "video/fast_png_writer.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>

#include <libdeflate.h>

#include "video/deflate_bit_writer.hpp"
#include "video/huffman_code.hpp"
#include "video/png_container.hpp"

namespace lk {
namespace {

// Four literal codes plus up to 7 pending bits must fit the 64-bit writer.
constexpr unsigned kMaxLiteralCodeLength = 14;
constexpr unsigned kMaxCodeLengthCodeLength = 7;
// Rows whose symbols decide the Huffman table.
constexpr std::uint32_t kSampleRows = 24;

constexpr std::size_t kLiteralLengthSymbols = 286;  // 0-255, end of block, lengths 257-285
// Only distance 1 (code 0) is used; a second one-bit code keeps the distance
// code complete.
constexpr std::size_t kDistanceSymbols = 2;
constexpr std::uint16_t kEndOfBlock = 256;
constexpr std::uint8_t kSubFilter = 1;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;

struct LengthSymbol {
    std::uint16_t symbol = 0;
    std::uint8_t extra_bits = 0;
    std::uint16_t extra_value = 0;
};

// Deflate's length symbol, extra bit count and extra value for every match
// length 3..258.
constexpr std::array<LengthSymbol, kMaxMatch + 1> make_length_symbols() {
    constexpr std::array<std::uint16_t, 29> base{3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                 15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr std::array<std::uint8_t, 29> extra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthSymbol, kMaxMatch + 1> table{};
    for (std::size_t i = 0; i < base.size(); ++i) {
        const std::size_t last = i + 1 < base.size() ? base[i + 1] - 1u : kMaxMatch;
        for (std::size_t length = base[i]; length <= last && length <= kMaxMatch; ++length) {
            table[length] = {static_cast<std::uint16_t>(257 + i), extra[i],
                             static_cast<std::uint16_t>(length - base[i])};
        }
    }
    table[kMaxMatch] = {285, 0, 0};
    return table;
}

constexpr auto kLengthSymbols = make_length_symbols();

constexpr std::array<std::uint8_t, 19> kCodeLengthOrder{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// Collects symbol frequencies from the sample rows.
class SymbolCounter {
  public:
    void literal(std::uint8_t byte) { ++counts_[byte]; }
    void literals8(const std::uint8_t* bytes) {
        for (int i = 0; i < 8; ++i) {
            ++counts_[bytes[i]];
        }
    }
    void match(std::size_t length) { ++counts_[kLengthSymbols[length].symbol]; }

    // Frequencies for the table: every symbol the image may need gets at
    // least 1, since rows outside the sample can hold any byte or run length.
    // Scaled down if needed to stay well inside 32 bits.
    [[nodiscard]] std::array<std::uint32_t, kLiteralLengthSymbols> smoothed() const {
        const std::uint64_t largest = *std::max_element(counts_.begin(), counts_.end());
        unsigned shift = 0;
        while ((largest >> shift) >= (std::uint64_t{1} << 30)) {
            ++shift;
        }
        std::array<std::uint32_t, kLiteralLengthSymbols> result{};
        for (std::size_t s = 0; s < result.size(); ++s) {
            result[s] = static_cast<std::uint32_t>(counts_[s] >> shift) + 1;
        }
        return result;
    }

  private:
    std::array<std::uint64_t, kLiteralLengthSymbols> counts_{};
};

// Writes symbols with the image's codes. A table entry is the bit-reversed
// code in the low 24 bits and its length in bits in the top 8.
class SymbolWriter {
  public:
    SymbolWriter(DeflateBitWriter& bits, const std::uint32_t* literal_codes,
                 const std::uint32_t* match_codes)
        : bits_(bits), literal_codes_(literal_codes), match_codes_(match_codes) {}

    void literal(std::uint8_t byte) { put(literal_codes_[byte]); }
    void literals8(const std::uint8_t* bytes) {
        put4(bytes);
        put4(bytes + 4);
    }
    void match(std::size_t length) { put(match_codes_[length]); }

  private:
    void put(std::uint32_t entry) {
        bits_.add(entry & 0xFFFFFF, entry >> 24);
        bits_.flush();
    }
    // Four codes of at most 14 bits combined before they reach the writer.
    void put4(const std::uint8_t* bytes) {
        const std::uint32_t e0 = literal_codes_[bytes[0]];
        const std::uint32_t e1 = literal_codes_[bytes[1]];
        const std::uint32_t e2 = literal_codes_[bytes[2]];
        const std::uint32_t e3 = literal_codes_[bytes[3]];
        const unsigned l0 = e0 >> 24;
        const unsigned l1 = e1 >> 24;
        const unsigned l2 = e2 >> 24;
        const unsigned l3 = e3 >> 24;
        const std::uint64_t low = std::uint64_t{e0 & 0xFFFF} | (std::uint64_t{e1 & 0xFFFF} << l0);
        const std::uint64_t high = std::uint64_t{e2 & 0xFFFF} | (std::uint64_t{e3 & 0xFFFF} << l2);
        bits_.add(low | (high << (l0 + l1)), l0 + l1 + l2 + l3);
        bits_.flush();
    }

    DeflateBitWriter& bits_;
    const std::uint32_t* literal_codes_;
    const std::uint32_t* match_codes_;
};

// A run of `run` zero bytes. When the byte before it is a zero, the whole run
// is a match at distance 1; otherwise its first zero is a literal.
template <class Sink>
void emit_zero_run(std::size_t run, bool after_zero, Sink& sink) {
    if (!after_zero) {
        sink.literal(0);
        --run;
    }
    while (run >= kMaxMatch + kMinMatch) {
        sink.match(kMaxMatch);
        run -= kMaxMatch;
    }
    if (run > kMaxMatch) {
        sink.match(run - kMinMatch);
        run = kMinMatch;
    }
    if (run >= kMinMatch) {
        sink.match(run);
    } else {
        for (; run > 0; --run) {
            sink.literal(0);
        }
    }
}

// The symbols of one filtered row (without its filter type byte). Works in
// 8-byte steps: a step of all zeros starts a run, any other step is eight
// literals. Reads nothing past `size`.
template <class Sink>
void tokenize_row(const std::uint8_t* row, std::size_t size, const SimdKernels& kernels,
                  Sink& sink) {
    std::size_t i = 0;
    bool after_zero = false;  // the byte before the row is its filter type
    while (i + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, row + i, sizeof word);
        if (word != 0) {
            sink.literals8(row + i);
            after_zero = row[i + 7] == 0;
            i += 8;
            continue;
        }
        // Most runs are short (a tile or a sprite wide): measure the first
        // 64 bytes inline and leave longer runs to the vector kernel.
        std::size_t run = 8;
        while (run < 64 && i + run + 8 <= size) {
            std::memcpy(&word, row + i + run, sizeof word);
            if (word != 0) {
                break;
            }
            run += 8;
        }
        if (word != 0) {
            run += static_cast<std::size_t>(__builtin_ctzll(word) / 8);
        } else {
            run += kernels.zero_run_length(row + i + run, size - i - run);
        }
        emit_zero_run(run, after_zero, sink);
        after_zero = true;
        i += run;
    }
    for (; i < size; ++i) {
        sink.literal(row[i]);
    }
}

// Converts and Sub-filters rows into `line`: line[0] is the filter type, the
// filtered bytes follow.
class RowFilter {
  public:
    RowFilter(const FrameLayout& layout, const SimdKernels& kernels)
        : layout_(layout),
          kernels_(kernels),
          row_bytes_(std::size_t{layout.width} * 4),
          line_(new std::uint8_t[row_bytes_ + 1]),
          converted_(layout.format == PixelFormat::rgba8888 ? nullptr
                                                            : new std::uint8_t[row_bytes_]) {
        line_[0] = kSubFilter;
    }

    void filter(std::uint32_t row) {
        const std::uint8_t* pixels = layout_.row(row);
        if (converted_) {
            kernels_.convert_row[layout_.format.value()](pixels, converted_.get(), layout_.width);
            pixels = converted_.get();
        }
        kernels_.sub_filter_row(pixels, line_.get() + 1, row_bytes_);
    }

    [[nodiscard]] const std::uint8_t* line() const { return line_.get(); }
    [[nodiscard]] std::size_t row_bytes() const { return row_bytes_; }

  private:
    const FrameLayout& layout_;
    const SimdKernels& kernels_;
    std::size_t row_bytes_;
    std::unique_ptr<std::uint8_t[]> line_;
    std::unique_ptr<std::uint8_t[]> converted_;
};

struct ImageCodes {
    std::array<std::uint8_t, kLiteralLengthSymbols> lengths{};
    std::array<std::uint16_t, kLiteralLengthSymbols> codes{};
    std::array<std::uint32_t, 256> literal_entries{};
    std::array<std::uint32_t, kMaxMatch + 1> match_entries{};
};

ImageCodes build_image_codes(const SymbolCounter& counter) {
    ImageCodes result;
    auto frequencies = counter.smoothed();
    build_huffman_code_lengths(frequencies, kMaxLiteralCodeLength, result.lengths);
    assign_canonical_huffman_codes(result.lengths, result.codes);
    for (std::size_t b = 0; b < 256; ++b) {
        result.literal_entries[b] = result.codes[b] | (std::uint32_t{result.lengths[b]} << 24);
    }
    // Distance code 0 (distance 1) is the one-bit code 0.
    for (std::size_t length = kMinMatch; length <= kMaxMatch; ++length) {
        const LengthSymbol& symbol = kLengthSymbols[length];
        const unsigned code_length = result.lengths[symbol.symbol];
        const std::uint32_t bits =
            result.codes[symbol.symbol] | (std::uint32_t{symbol.extra_value} << code_length);
        const unsigned total = code_length + symbol.extra_bits + 1;
        result.match_entries[length] = bits | (total << 24);
    }
    return result;
}

// Block header of a final dynamic-Huffman block with the image's codes.
void write_block_header(DeflateBitWriter& bits, const ImageCodes& codes) {
    std::array<std::uint8_t, kLiteralLengthSymbols + kDistanceSymbols> all_lengths{};
    std::copy(codes.lengths.begin(), codes.lengths.end(), all_lengths.begin());
    all_lengths[kLiteralLengthSymbols] = 1;
    all_lengths[kLiteralLengthSymbols + 1] = 1;

    std::array<std::uint32_t, 19> cl_frequencies{};
    for (const std::uint8_t length : all_lengths) {
        ++cl_frequencies[length];
    }
    std::array<std::uint8_t, 19> cl_lengths{};
    std::array<std::uint16_t, 19> cl_codes{};
    build_huffman_code_lengths(cl_frequencies, kMaxCodeLengthCodeLength, cl_lengths);
    assign_canonical_huffman_codes(cl_lengths, cl_codes);
    std::size_t cl_count = kCodeLengthOrder.size();
    while (cl_count > 4 && cl_lengths[kCodeLengthOrder[cl_count - 1]] == 0) {
        --cl_count;
    }

    bits.add(1, 1);  // final block
    bits.add(2, 2);  // dynamic Huffman codes
    bits.add(kLiteralLengthSymbols - 257, 5);
    bits.add(kDistanceSymbols - 1, 5);
    bits.add(cl_count - 4, 4);
    bits.flush();
    for (std::size_t i = 0; i < cl_count; ++i) {
        bits.add(cl_lengths[kCodeLengthOrder[i]], 3);
        bits.flush();
    }
    for (const std::uint8_t length : all_lengths) {
        bits.add(cl_codes[length], cl_lengths[length]);
        bits.flush();
    }
}

}  // namespace

Result<std::vector<std::uint8_t>> encode_fast_png(const FrameLayout& layout,
                                                  const SimdKernels& kernels) {
    if (auto status = check_png_dimensions(layout.width, layout.height); !status) {
        return std::unexpected(std::move(status.error()));
    }
    RowFilter rows(layout, kernels);
    const std::size_t row_bytes = rows.row_bytes();

    SymbolCounter counter;
    const std::uint32_t stride = std::max<std::uint32_t>(1, layout.height / kSampleRows);
    for (std::uint32_t r = stride / 2; r < layout.height; r += stride) {
        rows.filter(r);
        counter.literal(kSubFilter);
        tokenize_row(rows.line() + 1, row_bytes, kernels, counter);
    }
    const ImageCodes codes = build_image_codes(counter);

    // Every byte costs at most 14 bits (a match of 3 or more costs at most
    // 20), plus the header, the trailer and the writer's 8 bytes of slack.
    const std::size_t raw_size = std::size_t{layout.height} * (row_bytes + 1);
    const std::size_t bound =
        raw_size / 8 * kMaxLiteralCodeLength + 2 * kMaxLiteralCodeLength + 512;
    std::unique_ptr<std::uint8_t[]> stream(new std::uint8_t[bound]);
    stream[0] = 0x78;  // deflate, 32 KiB window
    stream[1] = 0x01;  // fastest compression level; header check bits
    DeflateBitWriter bits(stream.get() + 2);
    write_block_header(bits, codes);

    SymbolWriter writer(bits, codes.literal_entries.data(), codes.match_entries.data());
    std::uint32_t adler = 1;
    for (std::uint32_t r = 0; r < layout.height; ++r) {
        rows.filter(r);
        adler = libdeflate_adler32(adler, rows.line(), row_bytes + 1);
        writer.literal(kSubFilter);
        tokenize_row(rows.line() + 1, row_bytes, kernels, writer);
    }
    bits.add(codes.codes[kEndOfBlock], codes.lengths[kEndOfBlock]);
    std::uint8_t* end = bits.finish();
    for (int shift = 24; shift >= 0; shift -= 8) {
        *end++ = static_cast<std::uint8_t>(adler >> shift);
    }
    const std::size_t size = static_cast<std::size_t>(end - stream.get());
    return assemble_png(layout.width, layout.height, std::span(stream.get(), size));
}

}  // namespace lk
