#include "video/raw_frame_stream_token.hpp"

#include <unistd.h>

#include <vector>

#include "common/sha256.hpp"

namespace lk {

std::string raw_frame_stream_token(std::string_view session_id, std::uint32_t process_id,
                                   std::chrono::system_clock::time_point now) {
    std::vector<std::uint8_t> bytes(session_id.begin(), session_id.end());
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(process_id >> shift));
    }
    const auto since_epoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    const auto nanoseconds = since_epoch > 0 ? static_cast<std::uint64_t>(since_epoch) : 0u;
    // A 16-byte integer: the clock's 64 bits of nanoseconds fill the low half.
    bytes.insert(bytes.end(), 8, std::uint8_t{0});
    for (int shift = 56; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(nanoseconds >> shift));
    }
    return sha256_hex(bytes);
}

std::string new_raw_frame_stream_token(std::string_view session_id) {
    return raw_frame_stream_token(session_id, static_cast<std::uint32_t>(::getpid()),
                                  std::chrono::system_clock::now());
}

}  // namespace lk
