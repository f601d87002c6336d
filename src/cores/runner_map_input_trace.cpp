#include "cores/runner_map_input_trace.hpp"

#include <atomic>
#include <chrono>
#include <cmath>

#include <fmt/format.h>

#include "common/diagnostics.hpp"
#include "protocol/json.hpp"

namespace lk {

namespace {

// Wall-clock milliseconds of the last trace; shared by every session.
std::atomic<std::int64_t> last_trace_ms{0};

std::int64_t now_ms() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return std::max<std::int64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count(), 0);
}

struct RawStick {
    double x = 0.0;
    double y = 0.0;
};

// Player 0's analog if a players entry has it, else the top-level analog.
const std::optional<EmulatorAnalogInputState>& raw_analog(const EmulatorInputState& input) {
    for (const auto& player : input.players) {
        if (player.player_index == 0) {
            if (player.analog) {
                return player.analog;
            }
            break;
        }
    }
    return input.analog;
}

RawStick raw_stick(const std::optional<EmulatorAnalogStickState>& stick) {
    if (!stick) {
        return {};
    }
    return RawStick{stick->x.value_or(0.0), stick->y.value_or(0.0)};
}

OrderedJson number_or_null(double value) {
    return std::isfinite(value) ? OrderedJson(value) : OrderedJson(nullptr);
}

}  // namespace

void trace_runner_map(const EmulatorInputState& input, const MappedInputState& mapped) {
    const std::int64_t now = now_ms();
    std::int64_t last = last_trace_ms.load(std::memory_order_relaxed);
    do {
        if (std::max<std::int64_t>(now - last, 0) < 250) {
            return;
        }
    } while (!last_trace_ms.compare_exchange_weak(last, now, std::memory_order_relaxed));

    const auto& analog = raw_analog(input);
    const RawStick left = analog ? raw_stick(analog->left) : RawStick{};
    const RawStick right = analog ? raw_stick(analog->right) : RawStick{};
    const AnalogStick mapped_left = mapped.left_sticks[0];
    const AnalogStick mapped_right = mapped.right_sticks[0];
    const std::uint16_t mask = mapped.joypad_masks[0];
    log_line(kInputTraceTag,
             "stage=runner-map core=dolphin platform=gamecube rawLeft=({:.3f},{:.3f}) "
             "rawRight=({:.3f},{:.3f}) libretroLeft=({},{}) libretroRight=({},{}) "
             "joypadBits=0x{:04x}",
             left.x, left.y, right.x, right.y, mapped_left.x, mapped_left.y, mapped_right.x,
             mapped_right.y, mask);
    const OrderedJson trace{
        {"core", "dolphin"},
        {"joypadBits", mask},
        {"libretroLeft", {{"x", mapped_left.x}, {"y", mapped_left.y}}},
        {"libretroRight", {{"x", mapped_right.x}, {"y", mapped_right.y}}},
        {"platform", "gamecube"},
        {"rawLeft", {{"x", number_or_null(left.x)}, {"y", number_or_null(left.y)}}},
        {"rawRight", {{"x", number_or_null(right.x)}, {"y", number_or_null(right.y)}}},
        {"stage", "runner-map"}};
    write_diagnostic_line(kInputTraceJsonTag,
                          trace.dump(-1, ' ', false, OrderedJson::error_handler_t::replace));
}

}  // namespace lk
