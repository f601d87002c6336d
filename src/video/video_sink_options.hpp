#pragma once

#include <chrono>
#include <functional>

#include "common/switches.hpp"

namespace lk {

// Choices a video sink takes from its surroundings; tests replace them.
struct VideoSinkOptions {
    // The instants the frame-rate cap is measured with (runtime thread only).
    std::function<std::chrono::steady_clock::time_point()> clock = [] {
        return std::chrono::steady_clock::now();
    };
    // Whether the sink's debug lines (clients, failures, replacements,
    // statistics) go to standard error.
    bool debug_logs = runner_debug_logs_enabled();
};

}  // namespace lk
