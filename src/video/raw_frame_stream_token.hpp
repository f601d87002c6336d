#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace lk {

// The token a raw frame stream client must send: the lower-case hexadecimal
// SHA-256 of the session id's bytes, the process id as 4 big-endian bytes and
// the wall-clock time as nanoseconds since the Unix epoch in 16 big-endian
// bytes (all zero before the epoch).
std::string raw_frame_stream_token(std::string_view session_id, std::uint32_t process_id,
                                   std::chrono::system_clock::time_point now);

// The token for this process at this instant.
std::string new_raw_frame_stream_token(std::string_view session_id);

}  // namespace lk
