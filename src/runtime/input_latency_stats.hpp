#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/libretro_runtime_command.hpp"

namespace lk {

// Debug statistics of how long the shell's input takes to reach the core.
// Owned by the runtime thread.
class InputLatencyStats {
  public:
    // Records one sample; writes the "[lumenkite-input]" summary at most every
    // 2 s. `now_ms` is wall-clock milliseconds since the Unix epoch.
    void record(const runtime_command::InputTimings& timings, double now_ms,
                std::string_view core_id, std::string_view platform_id);

  private:
    struct Metric {
        double sum = 0.0;
        double max = 0.0;
    };
    std::uint64_t samples_ = 0;
    std::array<Metric, 5> metrics_{};
    std::optional<double> last_summary_ms_;
};

}  // namespace lk
