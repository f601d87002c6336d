#pragma once

#include <optional>
#include <string>

#include "common/error.hpp"

namespace lk {

// Reads raw lines from a file descriptor. Lines end at "\n"; one "\r" before
// it is removed with it; the last line may lack its "\n". Lines may be
// megabytes long. UTF-8 is not checked here.
class StdinLineReader {
  public:
    explicit StdinLineReader(int fd = 0);

    // The next line, nothing at the end of input, or the read error.
    Result<std::optional<std::string>> next_line();

  private:
    int fd_;
    std::string buffer_;  // bytes read but not yet returned, from buffer_[start_]
    std::size_t start_ = 0;
    std::size_t scanned_ = 0;  // bytes after start_ already known to hold no "\n"
    bool end_of_input_ = false;
};

}  // namespace lk
