#include "video/huffman_code.hpp"

#include <algorithm>
#include <array>

namespace lk {
namespace {

constexpr std::size_t kMaxSymbols = 288;
constexpr unsigned kMaxCodeLength = 15;

// Optimal (unlimited) code lengths by the two-queue method over leaves sorted
// by weight. Returns the longest length.
unsigned huffman_depths(std::span<const std::uint32_t> weights, std::span<std::uint8_t> lengths) {
    std::array<std::uint16_t, kMaxSymbols> order{};
    std::size_t leaf_count = 0;
    for (std::size_t s = 0; s < weights.size(); ++s) {
        if (weights[s] != 0) {
            order[leaf_count++] = static_cast<std::uint16_t>(s);
        }
    }
    std::stable_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(leaf_count),
                     [&](std::uint16_t a, std::uint16_t b) { return weights[a] < weights[b]; });

    // Nodes 0..leaf_count-1 are the sorted leaves; internal nodes follow in
    // the order they are made, so a parent always has a larger index.
    std::array<std::uint64_t, 2 * kMaxSymbols> weight{};
    std::array<std::uint16_t, 2 * kMaxSymbols> parent{};
    std::array<std::uint8_t, 2 * kMaxSymbols> depth{};
    for (std::size_t i = 0; i < leaf_count; ++i) {
        weight[i] = weights[order[i]];
    }
    std::size_t next_leaf = 0;
    std::size_t next_internal = leaf_count;
    std::size_t made = leaf_count;
    auto take_smallest = [&]() {
        if (next_leaf < leaf_count &&
            (next_internal == made || weight[next_leaf] <= weight[next_internal])) {
            return next_leaf++;
        }
        return next_internal++;
    };
    for (std::size_t k = 0; k + 1 < leaf_count; ++k) {
        const std::size_t a = take_smallest();
        const std::size_t b = take_smallest();
        weight[made] = weight[a] + weight[b];
        parent[a] = static_cast<std::uint16_t>(made);
        parent[b] = static_cast<std::uint16_t>(made);
        ++made;
    }
    unsigned longest = 0;
    depth[made - 1] = 0;
    for (std::size_t i = made - 1; i-- > 0;) {
        depth[i] = static_cast<std::uint8_t>(depth[parent[i]] + 1);
    }
    std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});
    for (std::size_t i = 0; i < leaf_count; ++i) {
        lengths[order[i]] = depth[i];
        longest = std::max<unsigned>(longest, depth[i]);
    }
    return longest;
}

}  // namespace

void build_huffman_code_lengths(std::span<const std::uint32_t> frequencies, unsigned max_length,
                                std::span<std::uint8_t> lengths) {
    const std::size_t n = std::min(frequencies.size(), kMaxSymbols);
    max_length = std::clamp(max_length, 1u, kMaxCodeLength);
    std::array<std::uint32_t, kMaxSymbols> weights{};
    std::size_t used = 0;
    for (std::size_t s = 0; s < n; ++s) {
        weights[s] = frequencies[s];
        used += frequencies[s] != 0 ? 1u : 0u;
    }
    // A complete code needs two symbols; add unused ones with the least weight.
    for (std::size_t s = 0; s < n && used < 2; ++s) {
        if (weights[s] == 0) {
            weights[s] = 1;
            ++used;
        }
    }
    const std::span<const std::uint32_t> active(weights.data(), n);
    if (used < 2) {  // a one-symbol alphabet
        std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});
        if (n == 1) {
            lengths[0] = 1;
        }
        return;
    }
    // Flatten the weights until the tree fits the limit. Each round roughly
    // halves the spread; with all weights equal the depth is at most 9.
    while (huffman_depths(active, lengths.first(n)) > max_length) {
        bool changed = false;
        for (std::size_t s = 0; s < n; ++s) {
            if (weights[s] > 1) {
                weights[s] = (weights[s] >> 1) | 1u;
                changed = true;
            }
        }
        if (!changed) {
            break;  // more symbols than 2^max_length: no code fits
        }
    }
}

void assign_canonical_huffman_codes(std::span<const std::uint8_t> lengths,
                                    std::span<std::uint16_t> codes) {
    std::array<std::uint16_t, kMaxCodeLength + 1> count{};
    for (const std::uint8_t length : lengths) {
        ++count[length];
    }
    count[0] = 0;
    std::array<std::uint32_t, kMaxCodeLength + 2> next{};
    std::uint32_t code = 0;
    for (unsigned bits = 1; bits <= kMaxCodeLength; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        const unsigned length = lengths[s];
        if (length == 0) {
            codes[s] = 0;
            continue;
        }
        std::uint32_t value = next[length]++;
        std::uint32_t reversed = 0;
        for (unsigned bit = 0; bit < length; ++bit) {
            reversed = (reversed << 1) | (value & 1);
            value >>= 1;
        }
        codes[s] = static_cast<std::uint16_t>(reversed);
    }
}

}  // namespace lk
