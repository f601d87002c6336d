#pragma once

#include <string>
#include <string_view>

#include "common/error.hpp"
#include "protocol/json.hpp"

namespace lk {

struct RunnerCommandEnvelope {
    std::string type;
    std::string request_id;
    Json payload;
};

// Decodes one command line. The error text names the problem, the line and the
// column, e.g. "missing field `type` at line 1, column 2".
Result<RunnerCommandEnvelope> decode_command_envelope(std::string_view line);

}  // namespace lk
