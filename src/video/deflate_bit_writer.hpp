#pragma once

#include <cstdint>
#include <cstring>

namespace lk {

// Packs deflate bits least significant bit first into a caller-sized buffer.
// `flush` stores 8 bytes at once, so the buffer needs 8 bytes of slack past
// the last byte written. Between flushes at most 56 bits may be added.
class DeflateBitWriter {
  public:
    explicit DeflateBitWriter(std::uint8_t* out) : out_(out) {}

    // Adds the low `count` bits of `bits` (which has no higher bits set).
    void add(std::uint64_t bits, unsigned count) {
        buffer_ |= bits << count_;
        count_ += count;
    }

    // Moves every whole byte to the output; fewer than 8 bits stay pending.
    void flush() {
        std::memcpy(out_, &buffer_, sizeof buffer_);  // little-endian machine
        const unsigned bytes = count_ >> 3;
        out_ += bytes;
        buffer_ = bytes == 8 ? 0 : buffer_ >> (bytes * 8);
        count_ &= 7;
    }

    // Flushes and pads the last partial byte with zero bits; returns the end.
    std::uint8_t* finish() {
        flush();
        if (count_ != 0) {
            *out_++ = static_cast<std::uint8_t>(buffer_);
            buffer_ = 0;
            count_ = 0;
        }
        return out_;
    }

  private:
    std::uint8_t* out_;
    std::uint64_t buffer_ = 0;
    unsigned count_ = 0;
};

}  // namespace lk
