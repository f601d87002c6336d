#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lk {

// Code lengths of a complete prefix code for the symbols with a non-zero
// frequency, none longer than `max_length` (at most 15, the deflate limit).
// Symbols with frequency 0 get length 0. When fewer than two symbols are used,
// one or two symbols get length 1 so that the code is still complete, which
// deflate decoders require. `frequencies` and `lengths` have the same size
// (at most 288 symbols).
void build_huffman_code_lengths(std::span<const std::uint32_t> frequencies, unsigned max_length,
                                std::span<std::uint8_t> lengths);

// Canonical deflate codes for the given lengths, bit-reversed so that they can
// be written least significant bit first.
void assign_canonical_huffman_codes(std::span<const std::uint8_t> lengths,
                                    std::span<std::uint16_t> codes);

}  // namespace lk
